#pragma once
// Owners of the drawing handles the dialogs hold: a font or an icon they
// made, a device context borrowed from a window, and an object selected
// into a context for a while. Windows have theirs beside the platform layer.

#include <memory>

#include "platform/win32/winapi.h"

namespace pagimor::win32 {

struct FontDeleter {
  void operator()(HFONT font) const { ::DeleteObject(font); }
};
// A font made with CreateFontIndirectW; never a stock font.
using UniqueFont = std::unique_ptr<HFONT__, FontDeleter>;

struct IconDestroyer {
  void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
// An icon loaded from a module with LoadImageW; never a shared system icon,
// which is not to be destroyed.
using UniqueIcon = std::unique_ptr<HICON__, IconDestroyer>;

// The device context of a window (or of the screen, for null), given back
// with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  [[nodiscard]] HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects a GDI object into a context and puts the old one back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace pagimor::win32
