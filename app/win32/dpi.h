// Screen scaling in one place: the dots per inch of a window and pixel
// sizes given for 96 dpi scaled to it.
#ifndef TARNU_APP_WIN32_DPI_H_
#define TARNU_APP_WIN32_DPI_H_

#include <windows.h>

namespace tarnu::win32 {

// The window's dpi (per monitor where Windows tells it), 96 when unknown.
UINT WindowDpi(HWND hwnd);
inline int DpiScale(int pixels_at_96, UINT dpi) { return MulDiv(pixels_at_96, dpi, 96); }

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_DPI_H_
