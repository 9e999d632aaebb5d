#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "codec/header_fields.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::Escape;

TEST(FindHeaderValue, Table) {
  const std::string long_value(1100, 'x');
  struct Case {
    const char* what;
    std::string block;
    const char* name;
    int result;
    std::string value;
  } cases[] = {
      {"simple", "Subject: hello\r\nTo: a\r", "subject:", 0, " hello"},
      {"name in capitals", "SUBJECT: x\r\nA: b\r", "subject:", 0, " x"},
      {"first field of the block", "To: t@x\r\nA: b\r", "to:", 0, " t@x"},
      {"Delivered-To before To", "Delivered-To: d@x\r\nTo: t@x\r\nX: y\r", "to:", 0, " t@x"},
      {"Reply-To is not To", "Reply-To: r@x\r\nFrom: f\r", "to:", -1, ""},
      {"Bcc is not Cc", "Bcc: b@x\r\nFrom: f\r", "cc:", -1, ""},
      {"from: inside a Subject value", "Subject: re: from: x\r\nFrom: real\r", "from:", 0, " real"},
      {"folded value then another field", "Subject: a\r\n b\r\nTo: x\r", "subject:", 0, " a\r\n b"},
      {"colon in the first line", "Subject: Re: hi\r\nTo: x\r", "subject:", 0, " Re: hi"},
      {"colon on a folded line ends the value", "Subject: a\r\n b: c\r\nTo: x\r", "subject:", 0,
       " a"},
      {"last field: no stray CR", "To: x\r\nSubject: last\r", "subject:", 0, " last"},
      {"folded last field kept whole", "To: x\r\nCc: a,\r\n  bbbbbbbbbbbbbbbb\r", "cc:", 0,
       " a,\r\n  bbbbbbbbbbbbbbbb"},
      {"next colon in the last bytes", "Subject: s\r\nX:1\r", "subject:", 0, " s"},
      {"empty last value", "To: x\r\nSubject:\r", "subject:", 0, ""},
      {"value cut to 1021 bytes", "Subject: " + long_value + "\r\nTo: y\r", "subject:", 0,
       " " + long_value.substr(0, 1020)},
      {"last value cut to 1021 bytes", "To: y\r\nSubject: " + long_value + "\r", "subject:", 0,
       " " + long_value.substr(0, 1020)},
      {"continuation line is no field start", "X: a\r\n To: x\r", "to:", -1, ""},
      {"block no longer than the name", "To:", "to:", -1, ""},
      {"name with nothing after it", "X: y\r\nTo:", "to:", -1, ""},
      {"missing field", "From: a\r\nSubject: b\r", "message-id:", -1, ""},
      {"Message-ID in any case", "Message-Id: <a@b>\r\nX: y\r", "Message-ID:", 0, " <a@b>"},
      {"the first of two", "To: one\r\nTo: two\r", "to:", 0, " one"},
      {"empty block", "", "to:", -1, ""},
  };
  for (const Case& c : cases) {
    std::string value = "stale";
    EXPECT_EQ(FindHeaderValue(c.name, c.block, &value), c.result) << c.what;
    EXPECT_EQ(Escape(value), Escape(c.value)) << c.what;
    // The block looked at once answers the same.
    value = "stale";
    EXPECT_EQ(HeaderFieldIndex(c.block).FindValue(c.name, &value), c.result) << c.what;
    EXPECT_EQ(Escape(value), Escape(c.value)) << c.what;
  }
}

// Blocks made of the bytes that matter to a lookup (line ends, colons,
// blanks, name letters, a UTF-8 character): the index answers every lookup
// as the scan of the whole block does.
TEST(HeaderFieldIndex, AnswersAsTheScansDo) {
  const std::string pieces[] = {"To",   "to", ":", " ",       "\t",           "\r", "\n",
                                "\r\n", "a",  "x", "Subject", "\xE3\x81\x82", "Cc", "\r\n "};
  const char* names[] = {"to:", "subject:", "cc:", "a:"};
  const char* fields[] = {"to", "subject", "cc", "a"};
  std::uint32_t seed = 12345;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int round = 0; round < 4000; ++round) {
    std::string block;
    const std::uint32_t count = next(24);
    for (std::uint32_t i = 0; i < count; ++i) block += pieces[next(std::size(pieces))];
    const HeaderFieldIndex index(block);
    for (const char* name : names) {
      for (std::size_t capacity :
           {std::size_t{0}, std::size_t{5}, std::size_t{9}, std::size_t{1023}}) {
        std::string scanned, indexed;
        const int a = FindHeaderValue(name, block, &scanned, capacity);
        const int b = index.FindValue(name, &indexed, capacity);
        ASSERT_EQ(a, b) << Escape(block) << " " << name << " " << capacity;
        ASSERT_EQ(Escape(scanned), Escape(indexed))
            << Escape(block) << " " << name << " " << capacity;
      }
    }
    for (const char* field : fields) {
      ASSERT_EQ(Escape(FindHeaderField(block, field)), Escape(index.Field(field)))
          << Escape(block) << " " << field;
    }
  }
}

TEST(HeaderFieldIndex, ContentInfoAsFromTheBlock) {
  const std::string blocks[] = {
      "Content-Type: multipart/mixed;\r\n boundary=\"b1\"\r\nSubject: x\r",
      "content-type: TEXT/HTML; charset=utf-8\r\nContent-Transfer-Encoding: Base64\r",
      "Content-Disposition: attachment; filename=a\r\nContent-ID: <c@x>\r", "X: y\r", ""};
  for (const std::string& block : blocks) {
    const ContentInfo a = ReadContentInfo(block);
    const ContentInfo b = ReadContentInfo(HeaderFieldIndex(block));
    EXPECT_EQ(a.type + "/" + a.subtype + ";" + a.charset + ";" + a.boundary + ";" + a.start + ";" +
                  a.encoding + ";" + a.content_id + ";" + (a.attachment ? "att" : ""),
              b.type + "/" + b.subtype + ";" + b.charset + ";" + b.boundary + ";" + b.start + ";" +
                  b.encoding + ";" + b.content_id + ";" + (b.attachment ? "att" : ""))
        << Escape(block);
  }
}

TEST(FindHeaderValue, SmallCapacityCutsTheValue) {
  std::string value;
  EXPECT_EQ(FindHeaderValue("to:", "To: abcdef\r\nX: y\r", &value, 5), 0);
  EXPECT_EQ(value, " ab");
  EXPECT_EQ(FindHeaderValue("to:", "To: abcdef\r\nX: y\r", &value, 2), 0);
  EXPECT_EQ(value, "");
  EXPECT_EQ(FindHeaderValue("to:", "To: abcdef\r\nX: y\r", &value, 0), 0);
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace tarnu

namespace tarnu {
namespace {

TEST(HeaderParameter, QuotingAndRfc2231) {
  struct {
    const char* value;
    const char* name;
    const char* want;
  } cases[] = {
      {"multipart/mixed; boundary=\"a;b\\\"c\"; x=1", "boundary", "a;b\"c"},
      {"text/plain; CHARSET=ISO-2022-JP", "charset", "ISO-2022-JP"},
      {"text/plain;charset=utf-8;format=flowed", "charset", "utf-8"},
      {"multipart/signed; boundary*=\"us-ascii''EeQf\"", "boundary", "EeQf"},
      {"text/plain; name*0=\"a\"; name*1*=%41%42; name*2=c", "name", "aABc"},
      {"text/plain; charset", "charset", ""},
      {"text/plain", "charset", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HeaderParameter(c.value, c.name), c.want) << c.value;
}

TEST(ReadContentInfo, FieldsFoldedAndDefaults) {
  const ContentInfo info = ReadContentInfo(
      "Subject: x\r\ncontent-type: Multipart/Alternative;\r\n\tboundary=\"b:1\"\r\n"
      "Content-Transfer-Encoding: BASE64\r\nContent-Disposition: attachment; filename=a\r");
  EXPECT_EQ(info.type, "multipart");
  EXPECT_EQ(info.subtype, "alternative");
  EXPECT_EQ(info.boundary, "b:1");  // a colon on a folded line is still the value
  EXPECT_EQ(info.encoding, "base64");
  EXPECT_TRUE(info.attachment);
  const ContentInfo none = ReadContentInfo("Content-Type: nonsense\r\n");
  EXPECT_EQ(none.type + "/" + none.subtype, "text/plain");
  EXPECT_EQ(ReadContentInfo("", true).type, "message");
}

TEST(HeaderBlockEnd, AtTheFirstLineThatIsNoField) {
  EXPECT_EQ(HeaderBlockEnd("A: 1\r\n folded\r\nB: 2\r"), 20u);
  EXPECT_EQ(HeaderBlockEnd("A: 1\r\nno colon here\r\nB: 2\r"), 6u);
  EXPECT_EQ(HeaderBlockEnd("body first\r\n"), 0u);
  EXPECT_EQ(UnfoldHeaderValue(" a\r\n\tb\r\n c"), "a\tb c");
}

}  // namespace
}  // namespace tarnu
