// The notification a check that found new mail raises from the tray icon
// (a balloon; a toast on Windows 10 and 11): how many, and who wrote what
// for the first few. Texts are UTF-16 for the shell's record, whose fields
// hold 64 (title) and 256 (text) characters with their NUL.
#ifndef TARNU_APP_NEW_MAIL_NOTICE_H_
#define TARNU_APP_NEW_MAIL_NOTICE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/check_report.h"

namespace tarnu {

inline constexpr std::size_t kNoticeTitleChars = 63;
inline constexpr std::size_t kNoticeTextChars = 255;
// A line of the text: sender and subject, cut with "…" beyond this.
inline constexpr std::size_t kNoticeLineChars = 60;

struct NewMailNotice {
  std::u16string title;
  std::u16string text;
};

// None when notifications are switched off or the check found nothing new
// (mail already announced is not new: the history decides, as it does for
// the blinking icon).
std::optional<NewMailNotice> NewMailNoticeFor(const CheckReport& report, bool enabled);

// The name to show for a From value: the display name when there is one
// ("佐藤 花子" <hanako@example.jp> -> 佐藤 花子), else the address.
std::u16string SenderName(std::u16string_view from);

}  // namespace tarnu

#endif  // TARNU_APP_NEW_MAIL_NOTICE_H_
