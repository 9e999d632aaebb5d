// The list pictures (bitmap strips of 16 x 16 cells) scaled with the screen's
// dpi, as the text beside them is.
#ifndef TARNU_APP_WIN32_PICTURES_H_
#define TARNU_APP_WIN32_PICTURES_H_

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

namespace tarnu::win32 {

// The side of a list picture at `dpi`.
int PictureSize(UINT dpi);

// An image list of the strip `bitmap_id`, each picture PictureSize(dpi)
// square, `mask` its transparent colour. Scaling keeps whole pixels (no
// blending), so the mask colour stays exact. Null on failure.
HIMAGELIST LoadPictureStrip(int bitmap_id, COLORREF mask, UINT dpi);

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_PICTURES_H_
