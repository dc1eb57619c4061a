#include "windows/win32/vxweb2.h"

#include <stdexcept>
#include <string>

#include "platform/file.h"
#include "platform/win32/window_owner.h"
#include "windows/win32/vxweb2_resource.h"

namespace pagimor {
namespace {

// The box as it was laid out, in pixels at 96 pixels per inch.
constexpr int kDesignDpi = 96;
constexpr SIZE kClient{399, 127};
constexpr RECT kBitBtn1{127, 94, 127 + 145, 94 + 25};
constexpr RECT kLblVersion{296, 8, 296 + 97, 8 + 17};
constexpr RECT kLabel1{16, 32, 16 + 361, 32 + 33};
constexpr POINT kLabel2{16, 58};  // sized to its text

// The layout's pixels on this screen: the same at 96 pixels per inch, larger
// where the system's type is larger.
class Scale {
 public:
  Scale() {
    const win32::WindowDC screen(nullptr);
    dpi_ = screen.get() != nullptr ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : kDesignDpi;
    if (dpi_ <= 0) dpi_ = kDesignDpi;
  }
  int operator()(int pixels) const { return ::MulDiv(pixels, dpi_, kDesignDpi); }

 private:
  int dpi_ = kDesignDpi;
};

std::wstring TextOf(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

}  // namespace

TfrmAbout::TfrmAbout() {
  frmAbout_.reset(::CreateDialogParamW(win32::ThisModule(), MAKEINTRESOURCEW(IDD_FRMABOUT), nullptr, &TfrmAbout::DialogProc,
                                       reinterpret_cast<LPARAM>(this)));
  if (!frmAbout_) {
    const auto code = static_cast<fs::ErrorCode>(::GetLastError());
    throw std::runtime_error("The About box cannot be created: " + fs::ErrorText(code) + " (system error " +
                             std::to_string(code) + ").");
  }
  HWND window = frmAbout_.get();
  BitBtn1_ = ::GetDlgItem(window, IDC_BITBTN1);
  lblVersion_ = ::GetDlgItem(window, IDC_LBLVERSION);
  Label1_ = ::GetDlgItem(window, IDC_LABEL1);
  Label2_ = ::GetDlgItem(window, IDC_LABEL2);
  if (BitBtn1_ == nullptr || lblVersion_ == nullptr || Label1_ == nullptr || Label2_ == nullptr) {
    throw std::runtime_error("The About box's layout lacks a component.");
  }

  // The version in the bold variant of the box's font.
  LOGFONTW font{};
  if (::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font) != 0) {
    font.lfWeight = FW_BOLD;
    boldFont_.reset(::CreateFontIndirectW(&font));
    if (boldFont_) ::SendMessageW(lblVersion_, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);
  }

  icon_ = win32::LoadModuleIcon(IDI_FRMABOUT, ::GetSystemMetrics(SM_CXICON));
  smallIcon_ = win32::LoadModuleIcon(IDI_FRMABOUT, ::GetSystemMetrics(SM_CXSMICON));
  if (icon_) ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
  if (smallIcon_) ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  // The OK glyph beside the caption.
  glyph_ = win32::LoadModuleIcon(IDI_BITBTN1_GLYPH, ::GetSystemMetrics(SM_CXSMICON));
  if (glyph_) ::SendMessageW(BitBtn1_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph_.get()));

  LayOut();
}

TfrmAbout::~TfrmAbout() {
  if (!frmAbout_) return;
  ::SetWindowLongPtrW(frmAbout_.get(), DWLP_USER, 0);
  frmAbout_.reset();
}

void TfrmAbout::LayOut() {
  HWND window = frmAbout_.get();
  const Scale scale;
  auto place = [&](HWND control, const RECT& r) {
    ::SetWindowPos(control, nullptr, scale(r.left), scale(r.top), scale(r.right - r.left), scale(r.bottom - r.top),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(BitBtn1_, kBitBtn1);
  place(lblVersion_, kLblVersion);
  place(Label1_, kLabel1);
  {
    // The rights notice is as large as its one line.
    const std::wstring text = TextOf(Label2_);
    const win32::WindowDC dc(Label2_);
    const win32::SelectedObject withFont(dc.get(),
                                         reinterpret_cast<HFONT>(::SendMessageW(Label2_, WM_GETFONT, 0, 0)));
    SIZE extent{0, 0};
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    ::SetWindowPos(Label2_, nullptr, scale(kLabel2.x), scale(kLabel2.y), extent.cx, extent.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The client area as laid out, inside the dialog frame, in the middle of
  // the screen.
  RECT outer{0, 0, scale(kClient.cx), scale(kClient.cy)};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  ::SetWindowPos(window, nullptr, ::GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
                 ::GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmAbout::Show() {
  HWND window = frmAbout_.get();
  ::ShowWindow(window, SW_SHOW);
  ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(BitBtn1_), TRUE);
}

void TfrmAbout::Close() { ::ShowWindow(frmAbout_.get(), SW_HIDE); }

void TfrmAbout::BitBtn1Click(HWND /*sender*/) { Close(); }

INT_PTR CALLBACK TfrmAbout::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = win32::DialogOwner<TfrmAbout>(window, message, lParam);
  // At WM_INITDIALOG too: the focus is given when the box is shown.
  if (self == nullptr || message == WM_INITDIALOG) return FALSE;
  switch (message) {
    case WM_COMMAND:
      // Enter and a click press OK; Esc is not a key of this box.
      if (LOWORD(wParam) == IDC_BITBTN1 && HIWORD(wParam) == BN_CLICKED) self->BitBtn1Click(self->BitBtn1_);
      return TRUE;
    case WM_CLOSE:
      self->Close();
      return TRUE;
    case WM_NCDESTROY:
      // Destroyed by someone else: nothing of it is left to hold.
      ::SetWindowLongPtrW(window, DWLP_USER, 0);
      (void)self->frmAbout_.release();
      self->BitBtn1_ = self->lblVersion_ = self->Label1_ = self->Label2_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace pagimor
