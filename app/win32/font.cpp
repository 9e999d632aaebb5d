#include "app/win32/font.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "app/screen_text.h"
#include "app/tray_logic.h"
#include "app/win32/dialog.h"

namespace tarnu::win32 {

LOGFONTW ToLogFontW(const LogFont& font) {
  LOGFONTW out = {};
  out.lfHeight = font.height;
  out.lfWidth = font.width;
  out.lfEscapement = font.escapement;
  out.lfOrientation = font.orientation;
  out.lfWeight = font.weight;
  out.lfItalic = font.italic;
  out.lfUnderline = font.underline;
  out.lfStrikeOut = font.strike_out;
  out.lfCharSet = font.char_set;
  out.lfOutPrecision = font.out_precision;
  out.lfClipPrecision = font.clip_precision;
  out.lfQuality = font.quality;
  out.lfPitchAndFamily = font.pitch_and_family;
  const void* nul = std::memchr(font.face_name, 0, sizeof font.face_name);
  std::size_t length = nul ? static_cast<const char*>(nul) - font.face_name : sizeof font.face_name;
  std::u16string face = SettingsTextToScreen(std::string_view(font.face_name, length));
  face.resize(std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
  std::memcpy(out.lfFaceName, face.data(), face.size() * sizeof(char16_t));
  return out;
}

LogFont FromLogFontW(const LOGFONTW& font) {
  LogFont out;
  out.height = font.lfHeight;
  out.width = font.lfWidth;
  out.escapement = font.lfEscapement;
  out.orientation = font.lfOrientation;
  out.weight = font.lfWeight;
  out.italic = font.lfItalic;
  out.underline = font.lfUnderline;
  out.strike_out = font.lfStrikeOut;
  out.char_set = font.lfCharSet;
  out.out_precision = font.lfOutPrecision;
  out.clip_precision = font.lfClipPrecision;
  out.quality = font.lfQuality;
  out.pitch_and_family = font.lfPitchAndFamily;
  std::u16string face =
      FromWide(std::wstring_view(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE)));
  const std::string name = SettingsTextFromScreen(face);
  std::string_view bytes = Cp932Prefix(name, sizeof out.face_name - 1);
  std::memcpy(out.face_name, bytes.data(), bytes.size());
  return out;
}

}  // namespace tarnu::win32
