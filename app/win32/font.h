// The settings' font description (a LOGFONTA with a code page 932 face
// name) and the wide-character LOGFONTW of the font API.
#ifndef TARNU_APP_WIN32_FONT_H_
#define TARNU_APP_WIN32_FONT_H_

#include <windows.h>

#include "model/app_settings.h"

namespace tarnu::win32 {

LOGFONTW ToLogFontW(const LogFont& font);
// The face name is cut at a whole character to fit its 32-byte field.
LogFont FromLogFontW(const LOGFONTW& font);

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_FONT_H_
