// The state of the notification-area icon as the core sees it.
#ifndef TARNU_APP_TRAY_STATE_H_
#define TARNU_APP_TRAY_STATE_H_

#include <string>

namespace tarnu {

// What a tray update does to the tip.
enum class TipChange { kNone, kReset, kText };
struct TrayTip {
  TipChange change = TipChange::kNone;
  std::string text;  // with kText: shown as "<application name>(<text>)"
};

// What a tray update does to the picture: kPictureUnchanged, or an icon
// resource id (128 the default icon, 142-146 the animation pictures).
inline constexpr int kPictureUnchanged = -1;
inline constexpr int kPictureDefault = 128;

// Flags the check cycle sets and the tray reads.
struct CheckFlags {
  bool checking = false;
  bool new_mail = false;
};

}  // namespace tarnu

#endif  // TARNU_APP_TRAY_STATE_H_
