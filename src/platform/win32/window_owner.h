#pragma once
// A window procedure is a free function: the object behind a window rides in
// the window's own storage, taken from its creation parameter the first time
// the procedure hears of the window. Null before that, and after the owner
// has cleared it on its way out.

// First: it sets how windows.h is read.
#include "platform/win32/winapi.h"

namespace pagimor::win32 {

// For a window made with CreateWindowExW(…, owner): the owner is the
// creation parameter, stored at WM_NCCREATE.
template <typename Owner>
Owner* WindowOwner(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// For a dialog made with CreateDialogParamW(…, owner) or DialogBoxParamW:
// the owner arrives with WM_INITDIALOG.
template <typename Owner>
Owner* DialogOwner(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
  return reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, DWLP_USER));
}

}  // namespace pagimor::win32
