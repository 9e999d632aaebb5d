// The values of the basic settings dialog ("基本設定") and their check.
#ifndef TARNU_UI_SETTINGS_FORM_H_
#define TARNU_UI_SETTINGS_FORM_H_

#include <cstdint>
#include <string>

#include "model/app_settings.h"
#include "ui/form_check.h"

namespace tarnu {

inline constexpr std::int32_t kMinInterval = 3;  // minutes
inline constexpr std::size_t kQuoteLimit = 30;   // bytes

struct SettingsForm {
  bool periodic_check = false;
  std::string interval;  // as typed
  bool no_check_at_start = false;
  std::string quote;
  bool auto_open = false;
  bool no_position_restore = false;
  bool no_history_at_start = false;
  LogFont font;  // set by the font selection only
  std::uint32_t font_colour = 0;
};

SettingsForm LoadSettingsForm(const AppSettings& settings);

// Interval first (an integer of 3 or more), then the quote (30 bytes).
FormCheck Validate(const SettingsForm& form);

// Copies the values back. A form that does not pass Validate changes
// nothing (false).
bool StoreSettingsForm(const SettingsForm& form, AppSettings* settings);

// The text of the font name field: the face name, or "(未設定)" while none
// was chosen.
std::string FontNameText(const LogFont& font);

}  // namespace tarnu

#endif  // TARNU_UI_SETTINGS_FORM_H_
