#include "windows/win32/forms_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/path.h"
#include "windows/win32/resource.h"
#include "platform/win32/window_owner.h"

namespace pagimor::win32 {
namespace {

// The layouts, in pixels at 96 per inch.
constexpr SIZE kForm2Client{266, 34};
constexpr RECT kProgBar1{0, 3, 265, 30};  // left, top, width, height
constexpr RECT kLblStatus{16, 112, 370, 25};
constexpr RECT kLblVersion{104, 72, 97, 17};
constexpr POINT kForm1RestoredAt{967, 118};
constexpr SIZE kForm1Client{525, 236};
constexpr RECT kWebBrowser1{0, 0, 489, 209};
constexpr int kStatusBarHeight = 19;
constexpr std::array kPanelWidths{50, 100, 100};
constexpr std::array<const wchar_t*, 3> kPanelTexts{L"InfoText", L"Time", L"Date"};
// "MS Sans Serif", 8 point.
constexpr int kFontPoints = 8;
constexpr DWORD kForm1Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

UniqueFont MakeFont(const DpiScale& scale, bool bold) {
  LOGFONTW font{};
  font.lfHeight = -::MulDiv(kFontPoints, scale.dpi(), 72);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  ::lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  return UniqueFont(::CreateFontIndirectW(&font));
}

void Place(HWND control, const RECT& at, const DpiScale& scale) {
  ::SetWindowPos(control, nullptr, scale(at.left), scale(at.top), scale(at.right), scale(at.bottom),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The session is ending: once this returns the process may be ended at any
// moment, so the book is closed by its normal road now, and its folder
// removed before the message loop would get to it.
bool HandleEndSession(Application& app, UINT message, WPARAM wParam, LRESULT& result) {
  if (message == WM_QUERYENDSESSION) {
    result = TRUE;
    return true;
  }
  if (message == WM_ENDSESSION) {
    if (wParam != FALSE) {
      app.RequestEnd();
      app.RunEmergencyCleanup();
    }
    result = 0;
    return true;
  }
  return false;
}

}  // namespace

DpiScale::DpiScale() {
  if (HDC screen = ::GetDC(nullptr)) {
    dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  if (dpi_ <= 0) dpi_ = 96;
}

// --- widgets ---

void Win32ProgressBar::SetMin(int value) { ::SendMessageW(bar_, PBM_SETRANGE32, static_cast<WPARAM>(value), Max()); }
void Win32ProgressBar::SetMax(int value) { ::SendMessageW(bar_, PBM_SETRANGE32, static_cast<WPARAM>(Min()), value); }
void Win32ProgressBar::SetPosition(int value) { ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(value), 0); }
int Win32ProgressBar::Min() const { return static_cast<int>(::SendMessageW(bar_, PBM_GETRANGE, TRUE, 0)); }
int Win32ProgressBar::Max() const { return static_cast<int>(::SendMessageW(bar_, PBM_GETRANGE, FALSE, 0)); }
int Win32ProgressBar::Position() const { return static_cast<int>(::SendMessageW(bar_, PBM_GETPOS, 0, 0)); }

void Win32Label::SetCaption(std::string_view text) { ::SetWindowTextW(label_, Utf8ToWide(text).c_str()); }

std::string Win32Label::Caption() const {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(label_)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(label_, text.data(), static_cast<int>(text.size()))));
  return WideToUtf8(text);
}

bool Win32Label::Visible() const { return ::IsWindowVisible(label_) != FALSE; }

// --- the loading window ---

Win32Form2::Win32Form2(Win32Application& app) : TForm2(app), win32_(app), bold_(MakeFont(DpiScale(), true)) {
  window_.reset(::CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(IDD_FORM2), nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this)));
  HWND window = window_.get();
  progress_ = std::make_unique<Win32ProgressBar>(::GetDlgItem(window, IDC_PROGBAR1));
  status_ = std::make_unique<Win32Label>(::GetDlgItem(window, IDC_LBLSTATUS));
  version_ = std::make_unique<Win32Label>(::GetDlgItem(window, IDC_LBLVERSION));
}

Win32Form2::~Win32Form2() {
  if (window_) ::SetWindowLongPtrW(window_.get(), DWLP_USER, 0);
}

void Win32Form2::Layout(HWND window) {
  const DpiScale scale;
  RECT frame{0, 0, scale(kForm2Client.cx), scale(kForm2Client.cy)};
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred on the screen.
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  Place(::GetDlgItem(window, IDC_PROGBAR1), kProgBar1, scale);
  Place(::GetDlgItem(window, IDC_LBLSTATUS), kLblStatus, scale);
  Place(::GetDlgItem(window, IDC_LBLVERSION), kLblVersion, scale);
  for (const int label : {IDC_LBLSTATUS, IDC_LBLVERSION}) {
    ::SendDlgItemMessageW(window, label, WM_SETFONT, reinterpret_cast<WPARAM>(bold_.get()), FALSE);
  }
  ::SendDlgItemMessageW(window, IDC_PROGBAR1, PBM_SETRANGE32, 0, 100);
}

INT_PTR CALLBACK Win32Form2::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = DialogOwner<Win32Form2>(window, message, lParam);
  if (self == nullptr) return FALSE;
  if (message == WM_INITDIALOG) {
    self->Layout(window);
    return FALSE;  // the reader's keys have nothing to go to
  }
  LRESULT result = 0;
  if (HandleEndSession(self->app(), message, wParam, result)) {
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  }
  switch (message) {
    case WM_CLOSE:  // no close box: Alt+F4 does nothing either
      return TRUE;
    case WM_COMMAND:  // Escape and Enter neither
      return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

void Win32Form2::Show() { ::ShowWindow(window_.get(), SW_SHOWNORMAL); }
void Win32Form2::Hide() { ::ShowWindow(window_.get(), SW_HIDE); }
bool Win32Form2::Visible() const { return ::IsWindowVisible(window_.get()) != FALSE; }
void Win32Form2::Close() { app().FormClosed(*this); }

// --- the viewer window ---

Win32Form1::Win32Form1(Win32Application& app, DpiScale scale) : TForm1(app), win32_(app), scale_(scale) {
  WNDCLASSEXW description{};
  description.cbSize = sizeof description;
  description.lpfnWndProc = WindowProc;
  description.hInstance = ThisModule();
  description.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  description.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  // The caption's and the task bar's, each drawn from the one image at its
  // own size.
  icon_ = LoadModuleIcon(IDI_FORM1, ::GetSystemMetrics(SM_CXICON));
  small_icon_ = LoadModuleIcon(IDI_FORM1, ::GetSystemMetrics(SM_CXSMICON));
  description.hIcon = icon_.get();
  description.hIconSm = small_icon_.get();
  // One class for each window object, so that a second one in the same
  // process (a test) has its own.
  const std::wstring name = L"PagimorForm1-" + std::to_wstring(reinterpret_cast<std::uintptr_t>(this));
  description.lpszClassName = name.c_str();
  class_ = std::make_unique<WindowClass>(description);

  keys_.reset(::LoadAcceleratorsW(ThisModule(), MAKEINTRESOURCEW(IDR_FORM1KEYS)));
  UniqueMenu menu(::LoadMenuW(ThisModule(), MAKEINTRESOURCEW(IDR_MAINMENU1)));
  // The restored geometry: the laid-out client area with frame, caption and menu around it.
  RECT frame{0, 0, scale_(kForm1Client.cx), scale_(kForm1Client.cy)};
  ::AdjustWindowRectEx(&frame, kForm1Style, TRUE, 0);
  window_.reset(::CreateWindowExW(0, class_->name(), Utf8ToWide(kViewerCaption).c_str(), kForm1Style,
                                  scale_(kForm1RestoredAt.x), scale_(kForm1RestoredAt.y), frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, menu.get(), ThisModule(), this));
  if (window_) menu.release();  // the window's now
  // The window's own too: the system asks the window before its class.
  ::SendMessageW(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
  ::SendMessageW(window_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
  clock_ = win32_.CreateTimer(1000, [this] { Timer1Timer(); }, true);
  watch_ = win32_.CreateTimer(500, [this] { tmrWatchWebTimer(); }, false);
  win32_.SetAccelerators(window_.get(), keys_.get());
  win32_.SetMessageFilter([this](MSG& message) { return browser_ && browser_->TranslateAccelerator(message); });
}

Win32Form1::~Win32Form1() {
  // Nothing may tick or call into a form that is going.
  clock_.reset();
  watch_.reset();
  win32_.SetMessageFilter(nullptr);
  win32_.SetAccelerators(nullptr, nullptr);
  browser_.reset();
  if (window_) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  window_.reset();
}

void Win32Form1::OnCreate(HWND window) {
  status_bar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                                  0, window, nullptr, ThisModule(), nullptr);
  ::SendMessageW(status_bar_, SB_SETMINHEIGHT, static_cast<WPARAM>(scale_(kStatusBarHeight)), 0);
  ::SendMessageW(status_bar_, WM_SIZE, 0, 0);
  for (std::size_t i = 0; i < kPanelWidths.size(); ++i) part_widths_[i] = scale_(kPanelWidths[i]);
  UpdateParts();
  for (std::size_t i = 0; i < kPanelTexts.size(); ++i) {
    ::SendMessageW(status_bar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(kPanelTexts[i]));
  }
  const RECT bounds{scale_(kWebBrowser1.left), scale_(kWebBrowser1.top),
                    scale_(kWebBrowser1.left) + scale_(kWebBrowser1.right),
                    scale_(kWebBrowser1.top) + scale_(kWebBrowser1.bottom)};
  WebBrowserCallbacks callbacks;
  callbacks.navigateComplete = [this](std::u16string_view url) { WebBrowser1NavigateComplete2(url); };
  callbacks.documentComplete = [this] { WebBrowser1DocumentComplete(); };
  WebBrowserCreation made = Win32WebBrowser::Create(window, bounds, std::move(callbacks));
  browser_ = std::move(made.browser);
  failure_ = std::move(made.failure);
  // The status bar stays in front of a page that reaches under it.
  ::SetWindowPos(status_bar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Form1::UpdateParts() {
  std::array<int, 3> edges{};
  int right = 0;
  for (std::size_t i = 0; i < part_widths_.size(); ++i) {
    right += std::max(part_widths_[i], 0);
    edges[i] = right;
  }
  ::SendMessageW(status_bar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void Win32Form1::Create() {
  FormCreate();
  created_ = true;
  ::ShowWindow(window_.get(), SW_SHOWMAXIMIZED);
  ::UpdateWindow(window_.get());
}

LRESULT CALLBACK Win32Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = WindowOwner<Win32Form1>(window, message, lParam);
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_CREATE) self->OnCreate(window);
  return self->Handle(window, message, wParam, lParam);
}

LRESULT Win32Form1::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (HandleEndSession(app(), message, wParam, result)) return result;
  switch (message) {
    case WM_SIZE:
      if (status_bar_ != nullptr) ::SendMessageW(status_bar_, WM_SIZE, 0, 0);
      // Until the creation handler has run, the window is only being built.
      if (created_ && wParam != SIZE_MINIMIZED) vxresize();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDM_EXIT1) {
        Exit1Click();
        return 0;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && browser_) browser_->Focus();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void Win32Form1::Show() { ::ShowWindow(window_.get(), SW_SHOW); }
void Win32Form1::Hide() { ::ShowWindow(window_.get(), SW_HIDE); }
bool Win32Form1::Visible() const { return ::IsWindowVisible(window_.get()) != FALSE; }

// The close handler, then the close action; the window itself goes with its
// object, so a close asked for again inside the handler's pauses finds it
// still there.
void Win32Form1::Close() {
  FormClose();
  app().FormClosed(*this);
}

WebView& Win32Form1::WebBrowser1() {
  if (browser_) return *browser_;
  return no_web_;
}

int Win32Form1::OuterWidth() const {
  RECT outer{};
  ::GetWindowRect(window_.get(), &outer);
  return scale_.ToLayout(outer.right - outer.left);
}

int Win32Form1::OuterHeight() const {
  RECT outer{};
  ::GetWindowRect(window_.get(), &outer);
  return scale_.ToLayout(outer.bottom - outer.top);
}

void Win32Form1::SetWebBrowser1Size(int width, int height) {
  if (browser_) browser_->SetBounds(0, scale_(WebBrowser1Top()), scale_(width), scale_(height));
}

void Win32Form1::SetPanelText(int index, std::string_view text) {
  ::SendMessageW(status_bar_, SB_SETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

void Win32Form1::SetPanelWidth(int index, int width) {
  part_widths_.at(static_cast<std::size_t>(index)) = scale_(width);
  UpdateParts();
}

// --- creation ---

std::unique_ptr<TForm2> Win32FormFactory::CreateForm2() { return std::make_unique<Win32Form2>(app_); }

std::unique_ptr<TForm1> Win32FormFactory::CreateForm1() {
  auto form = std::make_unique<Win32Form1>(app_);
  form->Create();
  if (form->Browser() == nullptr) {
    app_.ShowPlainMessage(form->failure());
    form->Close();
  }
  return form;
}

}  // namespace pagimor::win32
