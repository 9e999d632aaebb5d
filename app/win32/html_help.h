// The HTML help viewer, loaded when first asked for, so the program runs
// (without help) where the viewer is missing.
#ifndef TARNU_APP_WIN32_HTML_HELP_H_
#define TARNU_APP_WIN32_HTML_HELP_H_

#include <windows.h>

namespace tarnu::win32 {

// Opens `topic` of tarnu.chm (beside the program file) in the viewer;
// `owner` may be null. Returns false when the viewer or the file failed.
bool ShowHelpTopic(HWND owner, const char* topic);

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_HTML_HELP_H_
