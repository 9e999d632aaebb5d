// Code page 932 text, the form of every text tarnu.pref holds: its byte
// classes, characters and their boundaries, letter case, prefixes that do
// not cut a character, and line breaks.
#ifndef TARNU_CODEC_CP932_TEXT_H_
#define TARNU_CODEC_CP932_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu {

// Code page 932 byte classes.
inline bool IsSjisLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool IsSjisTrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
inline bool IsHalfwidthKana(unsigned char b) { return b >= 0xA1 && b <= 0xDF; }

// The length of the character starting at `pos`: 2 for a lead byte with a
// byte after it, else 1.
std::size_t Cp932CharLength(std::string_view text, std::size_t pos);

// The longest prefix of `text` of at most `max_bytes` bytes that does not cut
// a double-byte character in two.
std::string_view Cp932Prefix(std::string_view text, std::size_t max_bytes);

// A copy without the bytes CR and LF; the lines run together. Neither byte
// is ever part of another character, in code page 932 or in UTF-8, so this
// serves both.
std::string StripLineBreaks(std::string_view text);

// Letter case for the forwarding word lists: case is ignored for ASCII and
// the full-width Latin, Greek and Cyrillic letters, and a trail byte is
// never mistaken for a letter. A copy of `text` with a-z and the full-width small Latin, Greek and
// Cyrillic letters replaced by their capitals; every other character,
// including any byte pair whose second byte happens to be a-z, is kept.
std::string UpperCaseCp932(std::string_view text);

// For every byte offset 0..size of `text`: true where a character starts
// (and at the end).
std::vector<bool> Cp932Boundaries(std::string_view text);

}  // namespace tarnu

#endif  // TARNU_CODEC_CP932_TEXT_H_
