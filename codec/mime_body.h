// The text a mail reader shows for a message: the MIME structure walked
// (RFC 2045, RFC 2046), the first text/plain part that is not an attachment,
// else the first text/html part rendered to text, decoded from its transfer
// encoding and its charset. A parser of outside data, bounded in depth, part
// count and work whatever arrives, also when the body is cut short (the
// survey fetches only its first lines).
#ifndef TARNU_CODEC_MIME_BODY_H_
#define TARNU_CODEC_MIME_BODY_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "codec/header_fields.h"

namespace tarnu {

inline constexpr int kMimeMaxDepth = 8;    // nested multiparts followed
inline constexpr int kMimeMaxParts = 256;  // parts looked at in one message
inline constexpr std::size_t kMimeMaxBoundary = 200;

// The displayed text of a message (UTF-8, lines ending in CR LF), from its
// raw header block and raw body. Empty when the message has no text part.
std::string MessageBodyText(std::string_view header, std::string_view body);

// Its first `lines` lines, each ending in CR LF. `complete` (may be null)
// is true when those are all that were asked for, or all the text part
// holds (a delimiter line closed it); false when a body cut short may hold
// more of them.
std::string MessageBodyExcerpt(std::string_view header, std::string_view body, int lines,
                               bool* complete = nullptr);
// The same with the message's content information already read from its
// header.
std::string MessageBodyExcerpt(std::string_view header, const ContentInfo& info,
                               std::string_view body, int lines, bool* complete = nullptr);

// True when the first lines of the raw body are not the first lines of the
// text: a multipart or HTML message, or a body in base64 or
// quoted-printable.
bool BodyNeedsDecoding(std::string_view header);
bool BodyNeedsDecoding(const ContentInfo& info);

// HTML as text: one line per block element, white space collapsed, no empty
// lines, script, style, head and title left out, character references
// decoded. Lines end in CR LF.
std::string HtmlToText(std::string_view html);

// Body transfer encodings, lenient as readers are: base64 ignores what is
// not in its alphabet and a cut-off last group; quoted-printable drops soft
// line breaks and keeps a broken "=" as it stands.
std::string DecodeBase64Body(std::string_view text);
std::string DecodeQuotedPrintableBody(std::string_view text);

}  // namespace tarnu

#endif  // TARNU_CODEC_MIME_BODY_H_
