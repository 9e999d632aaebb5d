// Fitting cell texts into list columns: a text too wide for its cell loses
// characters from its end and gains "...".
#ifndef TARNU_APP_TEXT_FIT_H_
#define TARNU_APP_TEXT_FIT_H_

#include <functional>
#include <string>
#include <string_view>

namespace tarnu {

// The drawn width of a text, in pixels: code page 932 bytes or the UTF-16
// the screen is given. Widths must not shrink when a text grows by a
// character (true of every font).
using TextWidth = std::function<int(std::string_view)>;
using TextWidth16 = std::function<int(std::u16string_view)>;

inline constexpr char kEllipsis[] = "...";

template <typename Char>
struct BasicFittedText {
  std::basic_string<Char> text;
  bool shortened = false;
};
using FittedText = BasicFittedText<char>;
using FittedText16 = BasicFittedText<char16_t>;

// `text` as it is when it is empty or width(text) + margin <= width.
// Otherwise the longest run of whole characters (code page 932 characters;
// UTF-16 surrogate pairs kept together) from its start whose width plus the
// width of "..." plus margin is at most `width`, followed by "..." (just
// "..." when no character fits).
FittedText ShortenText(std::string_view text, int width, int margin, const TextWidth& measure);
FittedText16 ShortenText(std::u16string_view text, int width, int margin,
                         const TextWidth16& measure);

}  // namespace tarnu

#endif  // TARNU_APP_TEXT_FIT_H_
