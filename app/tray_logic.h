// The decisions behind the notification-area icon: which picture the
// two-second tick shows, and the tip text the shell is given.
#ifndef TARNU_APP_TRAY_LOGIC_H_
#define TARNU_APP_TRAY_LOGIC_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/tray_state.h"
#include "codec/cp932_text.h"  // Cp932Prefix, Cp932CharLength

namespace tarnu {

// The tip field of the tray record holds this many bytes, its NUL included.
inline constexpr std::size_t kTrayTipBytes = 64;

// The application name: the program file's base name without its directory
// and without its extension ("C:\x\tarnu.exe" -> "tarnu"). The path is code
// page 932, so a backslash that is the trail byte of a double-byte character
// is not taken for a separator.
std::string ApplicationName(std::string_view program_path);

// The tip for a tray update: the application name for TipChange::kReset,
// "<name>(<text>)" for TipChange::kText, empty for TipChange::kNone. The
// result always fits the tip field with its NUL; when it would not, the name
// is shortened first (so the state text stays readable), then the text, each
// by whole code page 932 characters.
std::string FormatTrayTip(std::string_view app_name, const TrayTip& tip);

// The picture of one tick of the icon timer: the checking pictures 142, 143,
// 144 in turn while a check runs, else the new-mail pictures 145, 146 in turn
// while new mail waits, stepping `counter` by one; else the default icon,
// leaving `counter` alone.
int ChooseTrayPicture(const CheckFlags& flags, std::int32_t* counter);

}  // namespace tarnu

#endif  // TARNU_APP_TRAY_LOGIC_H_
