#include "codec/cp932_text.h"

namespace tarnu {
namespace {

// The capital of the double-byte character (lead, trail), or 0 when it has
// none. Small letters and their capitals lie in parallel runs of the code
// page: full-width a-z 0x8281-0x829A over A-Z 0x8260-0x8279, Greek
// 0x83BF-0x83D6 over 0x839F-0x83B6, Cyrillic 0x8470-0x847E and 0x8480-0x8491
// (0x847F is unassigned) over 0x8440-0x8460.
unsigned UpperPair(unsigned char lead, unsigned char trail) {
  const unsigned code = (static_cast<unsigned>(lead) << 8) | trail;
  if (code >= 0x8281 && code <= 0x829A) return code - 0x8281 + 0x8260;
  if (code >= 0x83BF && code <= 0x83D6) return code - 0x83BF + 0x839F;
  if (code >= 0x8470 && code <= 0x847E) return code - 0x8470 + 0x8440;
  if (code >= 0x8480 && code <= 0x8491) return code - 0x8480 + 0x8440 + 15;
  return 0;
}

}  // namespace

std::size_t Cp932CharLength(std::string_view text, std::size_t pos) {
  return IsSjisLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

std::string_view Cp932Prefix(std::string_view text, std::size_t max_bytes) {
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t next = end + Cp932CharLength(text, end);
    if (next > max_bytes) break;
    end = next;
  }
  return text.substr(0, end);
}

std::string StripLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

std::string UpperCaseCp932(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t length = Cp932CharLength(out, i);
    if (length == 2) {
      const unsigned upper =
          UpperPair(static_cast<unsigned char>(out[i]), static_cast<unsigned char>(out[i + 1]));
      if (upper != 0) {
        out[i] = static_cast<char>(upper >> 8);
        out[i + 1] = static_cast<char>(upper & 0xFF);
      }
    } else if (out[i] >= 'a' && out[i] <= 'z') {
      out[i] = static_cast<char>(out[i] - 'a' + 'A');
    }
    i += length;
  }
  return out;
}

std::vector<bool> Cp932Boundaries(std::string_view text) {
  std::vector<bool> starts(text.size() + 1, false);
  for (std::size_t i = 0; i < text.size(); i += Cp932CharLength(text, i)) starts[i] = true;
  starts[text.size()] = true;
  return starts;
}

}  // namespace tarnu
