#include "windows/win32/webbrowser.h"

#include <docobj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/win32/path.h"
#include "windows/vxweb.h"
#include "platform/win32/window_owner.h"

namespace pagimor::win32 {

namespace {

// The bit of a key message's lParam that marks the keys beside the main
// block (the arrows' own block, Insert, ...) from the keypad's.
constexpr LPARAM kExtendedKey = LPARAM{1} << 24;
constexpr double kPercent = 100.0;

bool Pressed(int key) { return (static_cast<unsigned short>(::GetKeyState(key)) & 0x8000U) != 0; }

std::string FailureText(const char* step, HRESULT code) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
  std::string reason = SystemErrorText(static_cast<std::uint32_t>(code));
  if (reason.empty()) reason = "unknown error";
  return "The web browser control could not be started: " + reason + " (" + step + ", " + number + ").";
}

}  // namespace

KeyModifiers CurrentKeyModifiers() { return {Pressed(VK_CONTROL), Pressed(VK_MENU), Pressed(VK_SHIFT)}; }

ReaderKey ReaderKeyFor(const MSG& message, KeyModifiers modifiers) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return ReaderKey::kNone;
  const WPARAM key = message.wParam;
  if (modifiers.control && !modifiers.alt) {
    switch (key) {
      case VK_OEM_PLUS:  // the key of = and + on most layouts
      case VK_ADD:
        return ReaderKey::kZoomIn;
      case VK_OEM_MINUS:
      case VK_SUBTRACT:
        return ReaderKey::kZoomOut;
      case '0':
      case VK_NUMPAD0:
        return ReaderKey::kZoomReset;
      case VK_INSERT:  // the keypad's 0 with Num Lock off; not the Insert key
        return (message.lParam & kExtendedKey) == 0 ? ReaderKey::kZoomReset : ReaderKey::kNone;
      default:
        return ReaderKey::kNone;
    }
  }
  if (modifiers.alt && !modifiers.control && !modifiers.shift && key == VK_LEFT) return ReaderKey::kBack;
  return ReaderKey::kNone;
}

double StepOpticalZoom(const OpticalZoomCommand& command, double last, int direction) {
  double current = last;
  Variant now;
  if (SUCCEEDED(command(nullptr, now.get())) && V_VT(now.get()) == VT_I4 && V_I4(now.get()) > 0)
    current = V_I4(now.get()) / kPercent;
  const double next = NextZoomLevel(current, direction);
  Variant wanted;
  V_VT(wanted.get()) = VT_I4;
  V_I4(wanted.get()) = static_cast<LONG>(std::lround(next * kPercent));
  return SUCCEEDED(command(wanted.get(), nullptr)) ? next : last;
}

// --- making and ending it ---

WebBrowserCreation Win32WebBrowser::Create(HWND parent, const RECT& bounds, WebBrowserCallbacks callbacks,
                                           REFCLSID control) {
  WebBrowserCreation made;
  if (parent == nullptr || !::IsWindow(parent)) {
    made.code = E_INVALIDARG;
    made.failure = FailureText("no window to show it in", made.code);
    return made;
  }
  std::unique_ptr<Win32WebBrowser> browser(new Win32WebBrowser(std::move(callbacks)));
  const char* step = "";
  made.code = browser->Open(parent, bounds, control, step);
  if (FAILED(made.code)) {
    made.failure = FailureText(step, made.code);
    return made;  // what was made goes with browser, in reverse order
  }
  made.browser = std::move(browser);
  return made;
}

Win32WebBrowser::Win32WebBrowser(WebBrowserCallbacks callbacks)
    : sink_(WebBrowserEventSink::Create(std::move(callbacks))) {}

HRESULT Win32WebBrowser::Open(HWND parent, const RECT& bounds, REFCLSID control, const char*& step) {
  step = "RegisterClassEx";
  WNDCLASSEXW description{};
  description.cbSize = sizeof description;
  description.lpfnWndProc = WindowProc;
  description.hInstance = ThisModule();
  description.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // One class for each browser, so that the process keeps no class of its
  // own beyond the objects that use it.
  const std::wstring name = L"PagimorWebBrowser-" + std::to_wstring(reinterpret_cast<std::uintptr_t>(this));
  description.lpszClassName = name.c_str();
  class_ = std::make_unique<WindowClass>(description);
  if (!class_->registered()) return HRESULT_FROM_WIN32(::GetLastError());

  step = "CreateWindowEx";
  window_.reset(::CreateWindowExW(0, class_->name(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                  bounds.left, bounds.top, std::max(0L, bounds.right - bounds.left),
                                  std::max(0L, bounds.bottom - bounds.top), parent, nullptr, ThisModule(), this));
  if (!window_) return HRESULT_FROM_WIN32(::GetLastError());
  site_ = WebBrowserSite::Create(window_.get());
  IOleClientSite* clientSite = site_.get();

  // The control keeps its state in a storage of its own, in memory.
  step = "StgCreateDocfileOnILockBytes";
  ComPtr<ILockBytes> bytes;
  HRESULT hr = ::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put());
  if (FAILED(hr)) return hr;
  hr = ::StgCreateDocfileOnILockBytes(bytes.get(), STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0,
                                      storage_.put());
  if (FAILED(hr)) return hr;

  // Also hands the control its site.
  step = "OleCreate";
  hr = ::OleCreate(control, IID_IOleObject, OLERENDER_DRAW, nullptr, clientSite, storage_.get(), object_.put_void());
  if (FAILED(hr)) return hr;
  if (!object_) return E_NOINTERFACE;
  ::OleSetContainedObject(object_.get(), TRUE);

  step = "IWebBrowser2";
  browser_ = object_.As<IWebBrowser2>(&hr);
  if (FAILED(hr)) return hr;

  // Before the first navigation, so that no event is missed.
  step = "DWebBrowserEvents2";
  hr = events_.Connect(object_.get(), DIID_DWebBrowserEvents2, static_cast<IDispatch*>(sink_.get()));
  if (FAILED(hr)) return hr;

  step = "DoVerb";
  RECT area{};
  ::GetClientRect(window_.get(), &area);
  hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, window_.get(), &area);
  if (FAILED(hr)) return hr;

  step = "IOleInPlaceObject";
  in_place_ = object_.As<IOleInPlaceObject>(&hr);
  if (FAILED(hr)) return hr;
  FitControl();
  return S_OK;
}

Win32WebBrowser::~Win32WebBrowser() {
  // Events that come while the control goes reach nobody.
  sink_->Disconnect();
  events_.Disconnect();
  if (in_place_) {
    in_place_->UIDeactivate();
    in_place_->InPlaceDeactivate();
  }
  in_place_.reset();
  browser_.reset();
  if (object_) {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
  }
  object_.reset();
  storage_.reset();
  if (site_) site_->Detach();
  site_.reset();
  sink_.reset();
  if (window_) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  window_.reset();
  class_.reset();
}

// --- the web view ---

void Win32WebBrowser::Navigate(std::u16string_view address) {
  if (!browser_) return;
  const Bstr url(address);
  Variant flags;
  Variant frame;
  Variant postData;
  Variant headers;
  // A failure shows in the control as its own error page.
  browser_->Navigate(url.get(), flags.get(), frame.get(), postData.get(), headers.get());
}

std::u16string Win32WebBrowser::LocationURL() const {
  if (!browser_) return {};
  Bstr url;
  if (FAILED(browser_->get_LocationURL(url.put()))) return {};
  return url.Text();
}

// --- for the form ---

void Win32WebBrowser::SetBounds(int left, int top, int width, int height) {
  if (!window_) return;
  // The window's WM_SIZE fits the control.
  ::MoveWindow(window_.get(), left, top, std::max(width, 0), std::max(height, 0), TRUE);
}

bool Win32WebBrowser::TranslateAccelerator(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  if (!window_ || message.hwnd == nullptr) return false;
  // The reader's keys count anywhere in the form, as they do in a web
  // browser's window; the page's own only where the page has the keyboard.
  HWND form = ::GetAncestor(window_.get(), GA_ROOT);
  if (message.hwnd != form && !::IsChild(form, message.hwnd)) return false;
  switch (ReaderKeyFor(message, CurrentKeyModifiers())) {
    case ReaderKey::kZoomIn:
      Zoom(1);
      return true;
    case ReaderKey::kZoomOut:
      Zoom(-1);
      return true;
    case ReaderKey::kZoomReset:
      Zoom(0);
      return true;
    case ReaderKey::kBack:
      GoBack();
      return true;
    case ReaderKey::kNone:
      break;
  }
  if (message.hwnd != window_.get() && !::IsChild(window_.get(), message.hwnd)) return false;
  const ComPtr<IOleInPlaceActiveObject> active = ComPtr<IOleInPlaceActiveObject>::Share(site_->ActiveObject());
  return active && active->TranslateAccelerator(&message) == S_OK;
}

void Win32WebBrowser::Focus() {
  if (!object_ || !window_) return;
  RECT area{};
  ::GetClientRect(window_.get(), &area);
  object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site_.get(), 0, window_.get(), &area);
}

void Win32WebBrowser::Zoom(int direction) {
  if (!browser_) return;
  zoom_ = StepOpticalZoom(
      [this](VARIANT* in, VARIANT* out) {
        return browser_->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, in, out);
      },
      zoom_, direction);
}

void Win32WebBrowser::GoBack() {
  // Fails, and does nothing, when there is no page before.
  if (browser_) browser_->GoBack();
}

void Win32WebBrowser::FitControl() {
  if (!in_place_ || !window_) return;
  RECT area{};
  ::GetClientRect(window_.get(), &area);
  in_place_->SetObjectRects(&area, &area);
}

LRESULT CALLBACK Win32WebBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = WindowOwner<Win32WebBrowser>(window, message, lParam);
  if (self != nullptr) {
    switch (message) {
      case WM_SIZE:
        self->FitControl();
        return 0;
      case WM_SETFOCUS:
        self->Focus();
        return 0;
      default:
        break;
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace pagimor::win32
