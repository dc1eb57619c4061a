#pragma once
// WebBrowser1 on Win32: the system's web browser control, active in place
// in a child window of its own inside the form.
//
// The form that hosts it:
//   - makes it once its own window exists, with Win32WebBrowser::Create
//     (parent, bounds, callbacks); when that gives no browser, the control
//     could not be made and `failure` says why, for the reader;
//   - places it with SetBounds on every resize; the control follows;
//   - lets it see each key message first, from the message pump, after the
//     form's own menu shortcuts and before the message is dispatched:
//         if (browser->TranslateAccelerator(message)) continue;  // taken
//     (the reader's zoom and back keys, and the page's own keys such as Tab
//     and the clipboard's);
//   - gives it the keyboard with Focus() when the form is activated;
//   - destroys it before its own window goes; the callbacks are not called
//     once the destructor has begun.
// Calls and callbacks happen on the thread that made it, which must have
// initialised OLE (the application object's Initialize does).

// First: it sets how windows.h is read.
#include "platform/win32/winapi.h"

#include <exdisp.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "windows/win32/com.h"
#include "windows/win32/webbrowser_events.h"
#include "windows/win32/webbrowser_site.h"

namespace pagimor::win32 {

// The reader's keys for the page, taken before the page sees them.
enum class ReaderKey { kNone, kZoomIn, kZoomOut, kZoomReset, kBack };

struct KeyModifiers {
  bool control = false;
  bool alt = false;
  bool shift = false;
};
// The modifiers held down as the message being handled was sent.
[[nodiscard]] KeyModifiers CurrentKeyModifiers();

// What a key message is for the reader: Ctrl with plus (or =), minus and 0,
// on the main keys or the keypad, zoom the page; Alt+Left goes back to the
// page before. Shift is left out of Ctrl's keys, since many keyboards need
// it for plus; Ctrl with Alt is AltGr, which types characters.
[[nodiscard]] ReaderKey ReaderKeyFor(const MSG& message, KeyModifiers modifiers);

// The control's optical zoom command, in percent: with out, it tells the
// level; with in, it sets it.
using OpticalZoomCommand = std::function<HRESULT(VARIANT* in, VARIANT* out)>;

// One zoom step through command: one level larger (direction > 0), smaller
// (< 0), or the normal size, from the level the control tells, or from last
// (the level last set) when it tells none. The level it then took, or last
// when it refused.
[[nodiscard]] double StepOpticalZoom(const OpticalZoomCommand& command, double last, int direction);

class Win32WebBrowser;

struct WebBrowserCreation {
  std::unique_ptr<Win32WebBrowser> browser;  // null when it failed
  HRESULT code = S_OK;
  std::string failure;  // why it failed, in a sentence for the reader
};

class Win32WebBrowser final : public WebView {
 public:
  // Makes the control in a new child window of parent at bounds (in the
  // parent's client coordinates). control names the class to make; only
  // tests name another.
  [[nodiscard]] static WebBrowserCreation Create(HWND parent, const RECT& bounds, WebBrowserCallbacks callbacks,
                                                 REFCLSID control = CLSID_WebBrowser);
  Win32WebBrowser(const Win32WebBrowser&) = delete;
  Win32WebBrowser& operator=(const Win32WebBrowser&) = delete;
  ~Win32WebBrowser() override;

  // --- WebView ---
  // Flags, target frame, post data and headers are not given.
  void Navigate(std::u16string_view address) override;
  // Empty while the control has no address to tell.
  [[nodiscard]] std::u16string LocationURL() const override;

  // --- for the form ---
  // The child window the control fills.
  [[nodiscard]] HWND Window() const { return window_.get(); }
  // A negative width or height counts as 0.
  void SetBounds(int left, int top, int width, int height);
  // True when the key message was taken and must not be dispatched.
  bool TranslateAccelerator(MSG& message);
  void Focus();
  // One zoom step larger (direction > 0), smaller (< 0), or the normal size.
  void Zoom(int direction);
  // To the page before, when there is one.
  void GoBack();

  // The COM objects of this side, for tests that look at their references.
  [[nodiscard]] WebBrowserSite& Site() const { return *site_.get(); }
  [[nodiscard]] WebBrowserEventSink& EventSink() const { return *sink_.get(); }

 private:
  explicit Win32WebBrowser(WebBrowserCallbacks callbacks);
  // The steps of making it; the failed step's name and code when one fails.
  HRESULT Open(HWND parent, const RECT& bounds, REFCLSID control, const char*& step);
  // Keeps the control to the window's client area.
  void FitControl();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<WindowClass> class_;
  UniqueWindow window_;
  ComPtr<WebBrowserSite> site_;
  ComPtr<WebBrowserEventSink> sink_;
  ComPtr<IStorage> storage_;
  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IOleInPlaceObject> in_place_;
  EventConnection events_;
  // The zoom last set, for when the control cannot tell its own.
  double zoom_ = 1.0;
};

}  // namespace pagimor::win32
