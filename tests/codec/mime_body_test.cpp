// The text a reader shows for a message: the MIME walk, the transfer
// encodings, HTML as text, and the bounds of the walk.
#include "codec/mime_body.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

std::string Multipart(const std::string& type, const std::string& boundary,
                      const std::string& parts) {
  return "Content-Type: multipart/" + type + "; boundary=\"" + boundary + "\"\r\n" + parts;
}

TEST(MessageBodyExcerpt, PicksTheTextAReaderShows) {
  const std::string plain_part = "--b\r\nContent-Type: text/plain\r\n\r\nplain text\r\n";
  const std::string html_part = "--b\r\nContent-Type: text/html\r\n\r\n<p>html <b>text</b></p>\r\n";
  struct {
    const char* what;
    std::string header;
    std::string body;
    std::string excerpt;
  } cases[] = {
      {"plain, no header fields", "", "one\r\ntwo\r\nthree\r\nfour\r\n", "one\r\ntwo\r\nthree\r\n"},
      {"base64 UTF-8",
       "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: BASE64\r\n",
       "5pel5pys6KqeCmxp\r\nbmUgMgpsaW5lIDMK\r\n",
       "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\nline 2\r\nline 3\r\n"},
      {"quoted-printable with soft breaks",
       "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
       "quoted-printable\r\n",
       "caf=E9 au =\r\nlait=20\r\nbroken =ZZ\r\n", "caf\xC3\xA9 au lait \r\nbroken =ZZ\r\n"},
      {"alternative: plain wins whatever its place", "", "", ""},
      {"html only, rendered", "Content-Type: text/html; charset=utf-8\r\n",
       "<html><head><title>t</title><style>p{}</style></head><body><p>A &amp; B</p>"
       "<div>two&nbsp;words<br>three</div><script>x()</script></body></html>",
       "A & B\r\ntwo words\r\nthree\r\n"},
      {"related: the start part", Multipart("related; start=\"<r2>\"", "b", ""),
       "--b\r\nContent-Type: text/plain\r\n\r\nnot the root\r\n"
       "--b\r\nContent-Type: text/plain\r\nContent-ID: <r2>\r\n\r\nthe root\r\n--b--\r\n",
       "the root\r\n"},
      {"an attached text part is skipped", Multipart("mixed", "b", ""),
       "--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment\r\n\r\nfile\r\n" +
           html_part + "--b--\r\n",
       "html text\r\n"},
      {"ISO-2022-JP part", Multipart("mixed", "b", ""),
       "--b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1B$BF|K\\\x1B(B\r\n--b--\r\n",
       "\xE6\x97\xA5\xE6\x9C\xAC\r\n"},
      {"no boundary: nothing to show", "Content-Type: multipart/mixed\r\n", "text\r\n", ""},
      {"boundary never met: nothing", Multipart("mixed", "zz", ""), plain_part, ""},
      {"cut short: the open last part counts", Multipart("mixed", "b", ""),
       "preamble\r\n--b\r\nContent-Type: text/plain\r\n\r\nfirst\r\nsec", "first\r\nsec\r\n"},
      {"part header ends at a line that is no field", Multipart("mixed", "b", ""),
       "--b\r\nContent-Type: text/plain\r\nno field here\r\n--b--\r\n", "no field here\r\n"},
      {"not text at all", "Content-Type: image/png\r\n", "abc\r\n", ""},
  };
  for (const auto& c : cases) {
    std::string header = c.header, body = c.body;
    if (std::string(c.what).rfind("alternative", 0) == 0) {
      header = Multipart("alternative", "b", "");
      body = html_part + plain_part + "--b--\r\n";
      EXPECT_EQ(Hex(MessageBodyExcerpt(header, body, 3)), Hex("plain text\r\n")) << c.what;
      continue;
    }
    EXPECT_EQ(Hex(MessageBodyExcerpt(header, body, 3)), Hex(c.excerpt)) << c.what;
  }
}

TEST(MessageBodyExcerpt, TellsWhetherMoreLinesCouldFollow) {
  const std::string header = Multipart("mixed", "b", "");
  bool complete = true;
  MessageBodyExcerpt(header, "--b\r\nContent-Type: text/plain\r\n\r\none\r\n", 3, &complete);
  EXPECT_FALSE(complete);  // cut short, the part is still open
  MessageBodyExcerpt(header, "--b\r\n\r\none\r\n--b\r\nContent-Type: image/png\r\n\r\nxx", 3,
                     &complete);
  EXPECT_TRUE(complete);  // a delimiter closed the text part
  MessageBodyExcerpt(header, "--b\r\n\r\n1\r\n2\r\n3\r\n4", 3, &complete);
  EXPECT_TRUE(complete);  // all three lines are there
}

// The walk is bounded: multiparts nested deeper than kMimeMaxDepth, or more
// parts than kMimeMaxParts, are not followed.
TEST(MessageBodyExcerpt, BoundedDepthAndPartCount) {
  auto nested = [](int depth) {
    std::string body = "Content-Type: text/plain\r\n\r\ndeep\r\n";
    for (int d = depth; d > 0; --d) {
      const std::string b = "b" + std::to_string(d);
      body = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n" + body +
             "--" + b + "--\r\n";
    }
    const std::size_t split = body.find("\r\n\r\n");
    return std::make_pair(body.substr(0, split + 2), body.substr(split + 4));
  };
  auto [shallow_header, shallow_body] = nested(kMimeMaxDepth);
  EXPECT_EQ(MessageBodyExcerpt(shallow_header, shallow_body, 1), "deep\r\n");
  auto [deep_header, deep_body] = nested(kMimeMaxDepth + 1);
  EXPECT_EQ(MessageBodyExcerpt(deep_header, deep_body, 1), "");

  std::string many;
  for (int i = 0; i < kMimeMaxParts + 10; ++i)
    many += "--b\r\nContent-Type: image/png\r\n\r\nx\r\n";
  many += "--b\r\nContent-Type: text/plain\r\n\r\nlast\r\n--b--\r\n";
  EXPECT_EQ(MessageBodyExcerpt(Multipart("mixed", "b", ""), many, 1), "");
}

TEST(BodyNeedsDecoding, OnlyBodiesWhoseFirstLinesAreNotText) {
  EXPECT_FALSE(BodyNeedsDecoding("Subject: x\r\n"));
  EXPECT_FALSE(
      BodyNeedsDecoding("Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                        "Content-Transfer-Encoding: 7bit\r"));
  EXPECT_TRUE(BodyNeedsDecoding("Content-Type: multipart/mixed; boundary=x\r"));
  EXPECT_TRUE(BodyNeedsDecoding("Content-Type: text/html\r"));
  EXPECT_TRUE(BodyNeedsDecoding("Content-Transfer-Encoding: base64\r"));
  EXPECT_TRUE(BodyNeedsDecoding("content-transfer-encoding:\r\n Quoted-Printable\r"));
}

TEST(BodyTransferEncodings, LenientAsReadersAre) {
  EXPECT_EQ(DecodeBase64Body("QUJD\r\nREVG!!R0g"), "ABCDEFGH");  // stray bytes skipped
  EXPECT_EQ(DecodeBase64Body("QUJDRA"), "ABCD");                 // a cut-off last group
  EXPECT_EQ(DecodeBase64Body("QQ==QUJD"), "A");                  // nothing after padding
  EXPECT_EQ(DecodeQuotedPrintableBody("a=\r\nb= \t\nc=3D=3d=4=ZZ="), "ab= \t\nc===4=ZZ");
}

}  // namespace
}  // namespace tarnu
