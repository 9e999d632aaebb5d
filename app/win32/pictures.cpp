#include "app/win32/pictures.h"

#include "app/win32/dpi.h"
#include "app/win32/wide_text.h"

namespace tarnu::win32 {
namespace {

constexpr int kPictureAt96 = 16;

}  // namespace

int PictureSize(UINT dpi) { return DpiScale(kPictureAt96, dpi); }

HIMAGELIST LoadPictureStrip(int bitmap_id, COLORREF mask, UINT dpi) {
  const int size = PictureSize(dpi);
  HINSTANCE instance = Program().instance;
  if (size == kPictureAt96) {
    return ImageList_LoadImageW(instance, MAKEINTRESOURCEW(bitmap_id), kPictureAt96, 0, mask,
                                IMAGE_BITMAP, LR_CREATEDIBSECTION);
  }
  HBITMAP strip = static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(bitmap_id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (strip == nullptr) return nullptr;
  BITMAP info = {};
  GetObjectW(strip, sizeof(info), &info);
  const int count = info.bmWidth / kPictureAt96;
  HIMAGELIST list = nullptr;
  HDC screen = GetDC(nullptr);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP scaled = CreateCompatibleBitmap(screen, count * size, size);
  if (count > 0 && from && to && scaled) {
    HGDIOBJ old_from = SelectObject(from, strip);
    HGDIOBJ old_to = SelectObject(to, scaled);
    SetStretchBltMode(to, COLORONCOLOR);
    StretchBlt(to, 0, 0, count * size, size, from, 0, 0, count * kPictureAt96, kPictureAt96,
               SRCCOPY);
    SelectObject(from, old_from);
    SelectObject(to, old_to);
    list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count, 0);
    if (list != nullptr) ImageList_AddMasked(list, scaled, mask);
  }
  if (scaled) DeleteObject(scaled);
  if (to) DeleteDC(to);
  if (from) DeleteDC(from);
  ReleaseDC(nullptr, screen);
  DeleteObject(strip);
  return list;
}

}  // namespace tarnu::win32
