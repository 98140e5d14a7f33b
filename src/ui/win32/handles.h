#pragma once
// Owners of the window system's handles: each is released when its owner goes.

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <memory>
#include <type_traits>

namespace kalu {

struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
// A top-level window; its child windows go with it.
using WindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// A font, brush, pen or bitmap.
template <typename Handle>
struct GdiDeleter {
  void operator()(Handle object) const { DeleteObject(object); }
};
template <typename Handle>
using GdiHandle = std::unique_ptr<std::remove_pointer_t<Handle>, GdiDeleter<Handle>>;
using FontHandle = GdiHandle<HFONT>;

// A memory device context.
struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using DcHandle = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// Selects an object into a device context for the guard's lifetime.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

struct ImageListDestroyer {
  void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
};
using ImageListHandle = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDestroyer>;

}  // namespace kalu
