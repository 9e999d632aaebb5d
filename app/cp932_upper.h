// Letter case through code page 932 characters, for the forwarding word
// lists: case is ignored for ASCII and for the full-width Latin, Greek and
// Cyrillic letters, and a trail byte is never mistaken for a letter.
#ifndef TARNU_APP_CP932_UPPER_H_
#define TARNU_APP_CP932_UPPER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu {

// The length of the character starting at `pos`: 2 for a lead byte with a
// byte after it, else 1.
std::size_t Cp932CharLength(std::string_view text, std::size_t pos);

// A copy of `text` with a-z and the full-width small Latin, Greek and
// Cyrillic letters replaced by their capitals; every other character,
// including any byte pair whose second byte happens to be a-z, is kept.
std::string UpperCaseCp932(std::string_view text);

// For every byte offset 0..size of `text`: true where a character starts
// (and at the end).
std::vector<bool> Cp932Boundaries(std::string_view text);

}  // namespace tarnu

#endif  // TARNU_APP_CP932_UPPER_H_
