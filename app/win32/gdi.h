// Scoped GDI objects and device-context state, so every drawing path gives
// back what it took.
#ifndef TARNU_APP_WIN32_GDI_H_
#define TARNU_APP_WIN32_GDI_H_

#include <windows.h>

namespace tarnu::win32 {

// Saves the device context's state (selected objects, colours, modes) and
// restores it when it goes out of scope.
class ScopedDcState {
 public:
  explicit ScopedDcState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ScopedDcState(const ScopedDcState&) = delete;
  ScopedDcState& operator=(const ScopedDcState&) = delete;
  ~ScopedDcState() {
    if (saved_ != 0) RestoreDC(dc_, saved_);
  }

 private:
  HDC dc_;
  int saved_;
};

// A brush (or any GDI object) deleted with its owner; the state restore
// above has deselected it by then.
template <typename Handle>
class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(Handle handle = nullptr) : handle_(handle) {}
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
  ~ScopedGdiObject() { Reset(nullptr); }
  void Reset(Handle handle) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }
  Handle get() const { return handle_; }

 private:
  Handle handle_;
};
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedFont = ScopedGdiObject<HFONT>;

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_GDI_H_
