// Text for the screen, as UTF-16 for the wide-character API. The program
// holds two kinds of text: mail text (decoded header values, body excerpts,
// the full text of a message) and settings text (what tarnu.pref keeps:
// host names, word lists, the quote string, the font face, always code page
// 932). Each kind reaches the screen through its own function, so a change
// of what mail text is held in changes one place.
#ifndef TARNU_APP_SCREEN_TEXT_H_
#define TARNU_APP_SCREEN_TEXT_H_

#include <string>
#include <string_view>

namespace tarnu {

std::u16string MailTextToScreen(std::string_view text);

std::u16string SettingsTextToScreen(std::string_view text);
// What a dialog's edit holds, back into code page 932; characters code page
// 932 lacks become '?'.
std::string SettingsTextFromScreen(std::u16string_view text);

// A header value as a one-line field shows it: a value the server folded
// over several lines (CR LF before white space) is unfolded, and any other
// line break becomes a space, so nothing hides below the first line.
std::u16string OneLine(std::u16string_view text);

}  // namespace tarnu

#endif  // TARNU_APP_SCREEN_TEXT_H_
