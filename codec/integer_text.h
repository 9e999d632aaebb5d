// Integers written in text: a POP3 reply's counts, a dialog's number, a
// command-line option. One reader for all of them.
#ifndef TARNU_CODEC_INTEGER_TEXT_H_
#define TARNU_CODEC_INTEGER_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnu {

// Reads an integer at text[*pos] as "%d" reads one: white space, an
// optional sign, decimal digits; a value beyond the 64-bit range is held at
// its bound. Returns false when no digit follows; otherwise *pos moves
// behind the digits.
bool ScanInteger(std::string_view text, std::size_t* pos, std::int64_t* value);

// The same, held to the range of int.
bool ScanInt(std::string_view text, std::size_t* pos, int* value);

// The whole text one integer, blanks (space, tab) around it allowed.
bool ParseInteger(std::string_view text, std::int64_t* value);

}  // namespace tarnu

#endif  // TARNU_CODEC_INTEGER_TEXT_H_
