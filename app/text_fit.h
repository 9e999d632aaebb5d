// Fitting cell texts into list columns: a text too wide for its cell loses
// characters from its end and gains "...".
#ifndef TARNU_APP_TEXT_FIT_H_
#define TARNU_APP_TEXT_FIT_H_

#include <functional>
#include <string>
#include <string_view>

namespace tarnu {

// The drawn width of a code page 932 text, in pixels. Widths must not shrink
// when a text grows by a character (true of every font).
using TextWidth = std::function<int(std::string_view)>;

// The length in bytes of the character at text[pos] (at least 1): how a
// text is stepped through by characters, code page 932 or UTF-8.
using CharLength = std::size_t (*)(std::string_view text, std::size_t pos);

inline constexpr char kEllipsis[] = "...";

struct FittedText {
  std::string text;
  bool shortened = false;
};

// `text` as it is when it is empty or width(text) + margin <= width.
// Otherwise the longest run of whole code page 932 characters from its start
// whose width plus the width of "..." plus margin is at most `width`,
// followed by "..." (just "..." when no character fits).
// Characters are stepped by `char_length` (code page 932 unless given).
FittedText ShortenText(std::string_view text, int width, int margin, const TextWidth& measure,
                       CharLength char_length = nullptr);

}  // namespace tarnu

#endif  // TARNU_APP_TEXT_FIT_H_
