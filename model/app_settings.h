// The program-wide settings. The record is stored as the 244-byte header of
// the settings file; the file code writes it field by field.
#ifndef TARNU_MODEL_APP_SETTINGS_H_
#define TARNU_MODEL_APP_SETTINGS_H_

#include <cstdint>

namespace tarnu {

// The platform's LOGFONTA, 60 bytes in the file.
struct LogFont {
  std::int32_t height = 0;
  std::int32_t width = 0;
  std::int32_t escapement = 0;
  std::int32_t orientation = 0;
  std::int32_t weight = 0;
  std::uint8_t italic = 0;
  std::uint8_t underline = 0;
  std::uint8_t strike_out = 0;
  std::uint8_t char_set = 0;
  std::uint8_t out_precision = 0;
  std::uint8_t clip_precision = 0;
  std::uint8_t quality = 0;
  std::uint8_t pitch_and_family = 0;
  char face_name[32] = {};  // empty: no font chosen
};

inline constexpr std::int32_t kSettingsVersion = 256;
inline constexpr char kSettingsMagic[] = "tarnu config file";

struct AppSettings {
  std::int32_t version = kSettingsVersion;
  std::int32_t host_count = 0;
  std::int32_t periodic_check = 0;  // 1: "定期的にホストへ問い合わせる"
  std::int32_t interval = 10;       // minutes
  std::int32_t reserved = 2;        // read by nothing; kept as loaded
  std::int32_t no_check_at_start = 0;
  std::int32_t no_history_at_start = 0;
  std::int32_t auto_open = 0;  // open the result window on new mail
  LogFont font;
  std::uint32_t font_colour = 0;  // 0x00BBGGRR
  char quote[64] = "> ";
  std::int32_t no_position_restore = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t height = 0;  // height comes before width
  std::int32_t width = 0;
  char magic[64] = "tarnu config file";
};

}  // namespace tarnu

#endif  // TARNU_MODEL_APP_SETTINGS_H_
