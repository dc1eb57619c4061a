#pragma once
// Helpers for in-process Win32 window tests: pumping messages, keys as the
// keyboard would deliver them, and a driver that acts on a modal dialog
// while its own loop runs.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/path.h"
#include "platform/win32/winapi.h"

#include "messdlgs/dialog_cases.h"

namespace pagimor::testing {

// Under Wine, lets this program's windows be placed and drawn by Wine alone,
// title bar included, not by a window manager: on a bare X server (Xvfb)
// Wine would otherwise wait two seconds at every window it hides for a
// window manager that never answers, and draw no title bars. Wine reads the
// setting when a program starts, so it counts from the next run on (for the
// tests: from the run after ctest's listing of them). True when it was made
// now. Nothing changes on Windows.
inline bool UnmanagedUnderWine(const wchar_t* program) {
  if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) return false;
  const std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\X11 Driver";
  wchar_t value[4] = {};
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Managed", RRF_RT_REG_SZ, nullptr, value, &size) ==
          ERROR_SUCCESS &&
      value[0] == L'N') {
    return false;
  }
  return ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Managed", REG_SZ, L"N", sizeof L"N") == ERROR_SUCCESS;
}

// The class atom of the system's dialog windows.
inline constexpr ULONG_PTR kDialogClassAtom = 32770;

// Handles messages until the condition holds; false when it still does not
// after a very long while (a hang guard, not a time limit on the behaviour).
inline bool PumpUntil(const std::function<bool()>& done) {
  const ULONGLONG giveUp = ::GetTickCount64() + 30000;
  while (!done()) {
    if (::GetTickCount64() > giveUp) return false;
    MSG message{};
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
  return true;
}

inline std::string TextOf(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return win32::WideToUtf8(text);
}

// The visible dialog window of this thread, or null.
inline HWND ShownDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM result) {
        if (::IsWindowVisible(window) && ::GetClassLongPtrW(window, GCW_ATOM) == kDialogClassAtom) {
          *reinterpret_cast<HWND*>(result) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Dialog windows of this thread, shown or not.
inline int DialogWindows() {
  int n = 0;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM count) {
        if (::GetClassLongPtrW(window, GCW_ATOM) == kDialogClassAtom) ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&n));
  return n;
}

// The modifier keys held while a key is pressed.
enum Modifier : unsigned { kNoModifier = 0, kShift = 1, kControl = 2, kAlt = 4 };

// Holds the modifier keys down in this thread's key state, as the system
// does while they are held, and lets them go again.
class HeldModifiers {
 public:
  explicit HeldModifiers(unsigned modifiers) {
    ::GetKeyboardState(saved_);
    BYTE state[256];
    ::GetKeyboardState(state);
    const std::pair<unsigned, int> keys[] = {
        {kShift, VK_SHIFT}, {kShift, VK_LSHIFT}, {kControl, VK_CONTROL},
        {kControl, VK_LCONTROL}, {kAlt, VK_MENU}, {kAlt, VK_LMENU}};
    for (const auto& [bit, key] : keys) {
      if ((modifiers & bit) != 0) state[key] = 0x80;
    }
    ::SetKeyboardState(state);
  }
  HeldModifiers(const HeldModifiers&) = delete;
  HeldModifiers& operator=(const HeldModifiers&) = delete;
  ~HeldModifiers() { ::SetKeyboardState(saved_); }

 private:
  BYTE saved_[256]{};
};

// Queues a press and release of the key to the window that has the
// keyboard focus, as the keyboard would; with Alt held it is a system key.
// Modifiers are only marked in the message: HeldModifiers holds them down
// until the keys have been handled.
inline void PostKey(UINT key, unsigned modifiers = kNoModifier) {
  HWND target = ::GetFocus();
  ASSERT_NE(target, nullptr) << "nothing has the keyboard focus";
  const bool alt = (modifiers & kAlt) != 0;
  const UINT scan = ::MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | static_cast<LPARAM>(scan) << 16 | (alt ? LPARAM{1} << 29 : 0);
  const LPARAM up = down | LPARAM{1} << 30 | LPARAM{1} << 31;
  ::PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
  ::PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, up);
}

// Runs its steps one at a time, each once a dialog window is on screen,
// while the code under test runs its own modal loop. When the steps are done
// and the dialog is still there long after, it is closed so that a broken
// dialog fails its test instead of hanging it.
class DialogDriver {
 public:
  using Step = std::function<void(HWND)>;
  explicit DialogDriver(std::vector<Step> steps) : steps_(std::move(steps)) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = &DialogDriver::Proc;
    description.hInstance = ::GetModuleHandleW(nullptr);
    description.lpszClassName = L"PagimorTestDialogDriver";
    class_ = std::make_unique<win32::WindowClass>(description);
    window_.reset(::CreateWindowExW(0, class_->name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    description.hInstance, this));
    giveUpAt_ = ::GetTickCount64() + 30000;
    ::SetTimer(window_.get(), 1, 10, nullptr);
  }
  ~DialogDriver() {
    if (window_) ::KillTimer(window_.get(), 1);
  }
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  std::size_t StepsRun() const { return next_; }
  bool GaveUp() const { return gaveUp_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    } else if (message == WM_TIMER) {
      if (auto* self = reinterpret_cast<DialogDriver*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) self->Tick();
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  void Tick() {
    if (running_) return;  // a step that pumps does not start the next one inside it
    HWND dialog = ShownDialog();
    const ULONGLONG now = ::GetTickCount64();
    if (dialog != nullptr && next_ < steps_.size()) {
      running_ = true;
      steps_[next_++](dialog);
      running_ = false;
      giveUpAt_ = now + 20000;
    } else if (now > giveUpAt_) {
      gaveUp_ = true;
      giveUpAt_ = now + 20000;
      if (dialog != nullptr) ::DestroyWindow(dialog);
    }
  }

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  ULONGLONG giveUpAt_ = 0;
  bool gaveUp_ = false;
  bool running_ = false;
  std::unique_ptr<win32::WindowClass> class_;
  win32::UniqueWindow window_;
};

// Where the control is, in the client coordinates of its parent.
inline Box BoundsInParent(HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

inline Box ClientBox(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

inline Box WindowBox(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace pagimor::testing
