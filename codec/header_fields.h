// Finding fields in a header block: the values the survey shows, and the
// MIME fields that say how a body is to be read (RFC 2045, RFC 2183).
#ifndef TARNU_CODEC_HEADER_FIELDS_H_
#define TARNU_CODEC_HEADER_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu {

// The value of header field `name` (e.g. "subject:") in a decoded header
// block, found only where a header line starts, into `value` (at most
// capacity - 2 bytes, cut on a UTF-8 character boundary: 1021 with the
// survey's 1023). The value runs over folded lines to the line end before the
// next line holding a colon; the last field of the block runs to its end,
// without the block's final CR. Returns 0 when found, -1 otherwise (value
// empty).
int FindHeaderValue(std::string_view name, std::string_view block, std::string* value,
                    std::size_t capacity = 1023);

// Where the header of a block ends when no empty line ended it: at the
// first line that is neither a field (it has no colon) nor a continuation
// (it starts with no blank); the size of the block when there is none.
std::size_t HeaderBlockEnd(std::string_view block);

// A value as it is shown: the line breaks of its folding removed (RFC 5322
// 2.2.3), its leading white space too.
std::string UnfoldHeaderValue(std::string_view value);

// The unfolded value of the first field called `name` (without the colon,
// any case) by RFC 5322's rule: a field runs on over the lines that start
// with a blank. Empty when there is none.
std::string FindHeaderField(std::string_view block, std::string_view name);

// A header block looked at once: where its lines start and where its CR
// and colon bytes lie. Every lookup after that walks lines, not bytes, and
// answers exactly as the function of the same name above does. The block
// must outlive the index. May throw std::bad_alloc.
class HeaderFieldIndex {
 public:
  explicit HeaderFieldIndex(std::string_view block);

  // FindHeaderValue(name, block, value, capacity).
  int FindValue(std::string_view name, std::string* value, std::size_t capacity = 1023) const;
  // FindHeaderField(block, name).
  std::string Field(std::string_view name) const;

  std::string_view block() const { return block_; }

 private:
  std::string_view block_;
  std::vector<std::uint32_t> lines_;  // where each line starts
  std::vector<std::uint32_t> crs_;
  std::vector<std::uint32_t> colons_;
};

// How an entity's body is to be read, from its Content-Type,
// Content-Transfer-Encoding and Content-Disposition.
struct ContentInfo {
  std::string type = "text";  // lower case; text/plain when missing or unreadable
  std::string subtype = "plain";
  std::string charset;   // the parameter as it stands, may be empty
  std::string boundary;  // multipart only
  std::string start;     // multipart/related: the Content-ID of its root
  std::string encoding;  // lower case, e.g. "base64"; empty when missing
  std::string content_id;
  bool attachment = false;  // Content-Disposition: attachment
};

// `digest_part`: a part of multipart/digest, whose default type is
// message/rfc822.
ContentInfo ReadContentInfo(std::string_view header_block, bool digest_part = false);
// The same from a block already indexed.
ContentInfo ReadContentInfo(const HeaderFieldIndex& header, bool digest_part = false);

// One parameter of a structured value ("boundary" of
// `multipart/mixed; boundary="x"`), unquoted; empty when missing.
std::string HeaderParameter(std::string_view value, std::string_view name);

}  // namespace tarnu

#endif  // TARNU_CODEC_HEADER_FIELDS_H_
