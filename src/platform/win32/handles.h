#pragma once
// Owners of the system's handles: each closes its handle with the call that
// belongs to it, once.

#include <memory>

#include "platform/win32/winapi.h"

namespace pagimor::win32 {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
// A kernel object handle (file, token, event).
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};
// Memory the system allocated with LocalAlloc for the caller.
template <typename T>
using LocalMemory = std::unique_ptr<T, LocalFreer>;

struct WindowDestroyer {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<HWND__, WindowDestroyer>;

struct AcceleratorDestroyer {
  void operator()(HACCEL table) const { ::DestroyAcceleratorTable(table); }
};
using UniqueAccelerators = std::unique_ptr<HACCEL__, AcceleratorDestroyer>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<HFONT__, GdiObjectDeleter>;

struct MenuDestroyer {
  void operator()(HMENU menu) const { ::DestroyMenu(menu); }
};
// A menu no window owns yet; a window's menu goes with the window.
using UniqueMenu = std::unique_ptr<HMENU__, MenuDestroyer>;

// A registered window class, unregistered with its owner.
class WindowClass {
 public:
  WindowClass() = default;
  explicit WindowClass(const WNDCLASSEXW& description)
      : atom_(::RegisterClassExW(&description)), instance_(description.hInstance) {}
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass() {
    if (atom_ != 0) ::UnregisterClassW(name(), instance_);
  }
  [[nodiscard]] bool registered() const { return atom_ != 0; }
  // The atom in place of the name, as MAKEINTATOM makes it for the wide calls.
  [[nodiscard]] LPCWSTR name() const { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom_)); }

 private:
  ATOM atom_ = 0;
  HINSTANCE instance_ = nullptr;
};

struct IconDestroyer {
  void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
// An icon loaded from a module with LoadImageW; never a shared system icon,
// which is not to be destroyed.
using UniqueIcon = std::unique_ptr<HICON__, IconDestroyer>;

// The program's own module, whose resources the windows are made from.
inline HINSTANCE ThisModule() { return ::GetModuleHandleW(nullptr); }

// One of the program's icons, drawn from its resource at side x side pixels.
inline UniqueIcon LoadModuleIcon(int id, int side) {
  return UniqueIcon(static_cast<HICON>(::LoadImageW(ThisModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, 0)));
}

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
