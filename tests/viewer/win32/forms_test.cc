// The windows on Win32 as their resources and the forms make them: read
// back from the system, and the viewer's Ctrl+Q through the real message
// pump. Needs a display (Wine runs on a virtual one).
#include "windows/win32/forms_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "windows/win32/resource.h"

namespace pagimor::win32 {
namespace {

std::wstring Text(HWND window) {
  std::wstring text(512, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring MenuText(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  ::GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return text;
}

std::wstring PanelText(HWND bar, int index) {
  wchar_t text[256] = {};
  ::SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return text;
}

SIZE ClientSize(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  return {client.right, client.bottom};
}

SIZE OuterSize(HWND window) {
  RECT outer{};
  ::GetWindowRect(window, &outer);
  return {outer.right - outer.left, outer.bottom - outer.top};
}

// A child's place in its parent's client area.
RECT PlaceInParent(HWND child) {
  RECT at{};
  ::GetWindowRect(child, &at);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&at), 2);
  return at;
}

// The side of an icon's image, in pixels; 0 for none.
int IconSide(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || ::GetIconInfo(icon, &info) == FALSE) return 0;
  BITMAP bitmap{};
  ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

class FormsTest : public ::testing::Test {
 protected:
  FormsTest() { app_.Initialize(); }
  Win32Application app_;
  Win32FormFactory forms_{app_};
  DpiScale scale_;
};

TEST_F(FormsTest, LoadingWindowIsASmallCaptionedBarWithNothingToClose) {
  const std::unique_ptr<TForm2> form = forms_.CreateForm2();
  auto& form2 = dynamic_cast<Win32Form2&>(*form);
  HWND window = form2.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(app_.MainForm(), form.get());
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(Text(window), L"Loading - Please wait...");
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  const SIZE client = ClientSize(window);
  EXPECT_EQ(client.cx, scale_(266));
  EXPECT_EQ(client.cy, scale_(34));
  RECT outer{};
  ::GetWindowRect(window, &outer);
  EXPECT_NEAR((outer.left + outer.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  HWND bar = ::GetDlgItem(window, IDC_PROGBAR1);
  const RECT at = PlaceInParent(bar);
  EXPECT_EQ(at.left, 0);
  EXPECT_EQ(at.top, scale_(3));
  EXPECT_EQ(at.right - at.left, scale_(265));
  EXPECT_EQ(at.bottom - at.top, scale_(30));
  EXPECT_NE(::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_SMOOTH, 0);
  EXPECT_EQ(form->ProgBar1().Min(), 0);
  EXPECT_EQ(form->ProgBar1().Max(), 100);
  EXPECT_EQ(form->ProgBar1().Position(), 0);
  form->ProgBar1().SetMax(1);
  form->ProgBar1().SetPosition(1);
  EXPECT_EQ(form->ProgBar1().Max(), 1);
  EXPECT_EQ(form->ProgBar1().Position(), 1);

  form->Show();
  EXPECT_TRUE(form->Visible());
  form->lblStatus().SetCaption("Loading Pagimor... Please wait...");
  EXPECT_EQ(form->lblStatus().Caption(), "Loading Pagimor... Please wait...");
  EXPECT_EQ(form->lblVersion().Caption(), "lblVersion");
  EXPECT_FALSE(form->lblStatus().Visible());
  EXPECT_FALSE(form->lblVersion().Visible());
  // Closing it from the frame is not offered: the message does nothing.
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(form->Visible());
  EXPECT_FALSE(app_.Terminated());
}

TEST_F(FormsTest, ViewerWindowIsMaximizedWithItsMenuStatusBarAndBrowserAndEndsOnCtrlQ) {
  const std::unique_ptr<TForm1> form = forms_.CreateForm1();
  auto& form1 = dynamic_cast<Win32Form1&>(*form);
  HWND window = form1.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(app_.MainForm(), form.get());
  EXPECT_FALSE(app_.Terminated()) << form1.failure();
  app_.ProcessMessages();
  EXPECT_EQ(Text(window), L"EBook");
  EXPECT_TRUE(::IsZoomed(window));

  HMENU menu = ::GetMenu(window);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(menu), 1);
  EXPECT_EQ(MenuText(menu, 0), L"&File");
  HMENU file = ::GetSubMenu(menu, 0);
  ASSERT_EQ(::GetMenuItemCount(file), 1);
  EXPECT_EQ(MenuText(file, 0), L"E&xit\tCtrl+Q");

  // Shown maximized, it has been resized once; the clock has not ticked.
  HWND bar = form1.StatusBar();
  int edges[8] = {};
  ASSERT_EQ(::SendMessageW(bar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 3);
  EXPECT_EQ(PanelText(bar, 0), L"EBook successfully loaded.");
  EXPECT_EQ(PanelText(bar, 1), L"Time");
  EXPECT_EQ(PanelText(bar, 2), L"Date");
  const SIZE outer = OuterSize(window);
  EXPECT_NEAR(edges[0], outer.cx - scale_(250), 1);
  EXPECT_EQ(edges[1] - edges[0], scale_(100));
  EXPECT_EQ(edges[2] - edges[1], scale_(100));
  EXPECT_TRUE(form->Timer1().Enabled());
  EXPECT_EQ(form->Timer1().Interval(), 1000u);
  EXPECT_FALSE(form->tmrWatchWeb().Enabled());
  EXPECT_EQ(form->tmrWatchWeb().Interval(), 500u);

  // The browser is made in the form and sized by the window's rule.
  ASSERT_NE(form1.Browser(), nullptr) << form1.failure();
  const RECT browser = PlaceInParent(form1.Browser()->Window());
  EXPECT_EQ(browser.left, 0);
  EXPECT_EQ(browser.top, 0);
  EXPECT_NEAR(browser.right - browser.left, outer.cx - scale_(10), 1);
  EXPECT_NEAR(browser.bottom - browser.top, outer.cy - scale_(66), 1);

  // Ctrl+Q as the reader types it ends the message loop.
  ::SetForegroundWindow(window);
  ::SetFocus(window);
  app_.ProcessMessages();
  INPUT keys[4] = {};
  const WORD codes[4] = {VK_CONTROL, 'Q', 'Q', VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = codes[i];
    keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
  }
  ASSERT_EQ(::SendInput(4, keys, sizeof(INPUT)), 4u);
  bool gaveUp = false;
  const std::unique_ptr<Timer> limit = app_.CreateTimer(10000, [&] {
    gaveUp = true;
    app_.Terminate();
  });
  app_.RunMessageLoop();
  EXPECT_FALSE(gaveUp) << "Ctrl+Q did not end the loop";
  EXPECT_FALSE(form->Timer1().Enabled());
}

// On a screen with more pixels to the inch the frame, the menu and the
// panels are larger: the sizing rule's allowances grow with them, so the
// page still ends inside the frame and the date still fits in the bar.
TEST_F(FormsTest, TheSizingRuleGrowsWithThePixelsPerInch) {
  for (const int dpi : {120, 144}) {
    const DpiScale scale(dpi);
    Win32Form1 form(app_, scale);
    form.Create();
    ASSERT_NE(form.Browser(), nullptr) << form.failure();
    app_.ProcessMessages();
    HWND window = form.Window();
    ASSERT_TRUE(::IsZoomed(window)) << dpi;
    const SIZE outer = OuterSize(window);
    // The layout's pixels come back to this screen's to within one of them.
    const int slack = scale(1);
    EXPECT_NEAR(form.OuterWidth(), ::MulDiv(outer.cx, 96, dpi), 1) << dpi;

    const RECT browser = PlaceInParent(form.Browser()->Window());
    EXPECT_NEAR(browser.right - browser.left, outer.cx - scale(10), slack) << dpi;
    EXPECT_NEAR(browser.bottom - browser.top, outer.cy - scale(66), slack) << dpi;

    int edges[3] = {};
    ASSERT_EQ(::SendMessageW(form.StatusBar(), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges)), 3);
    EXPECT_NEAR(edges[0], outer.cx - scale(250), slack) << dpi;
    EXPECT_EQ(edges[1] - edges[0], scale(100)) << dpi;
    EXPECT_EQ(edges[2] - edges[1], scale(100)) << dpi;
    EXPECT_LE(edges[2], ClientSize(form.StatusBar()).cx) << dpi << ": the date panel is cut off";
  }
}

TEST_F(FormsTest, ViewerWindowHasItsIconInTheCaptionAndTheTaskBar) {
  // The image as the program carries it: one 32 x 32 picture in 16 colours.
  // Its group lists each image as width, height, colours, a reserved byte,
  // then planes and bits per pixel as 16-bit numbers.
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_FORM1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  ASSERT_GE(::SizeofResource(module, group), 6u + 14u);
  const auto* directory = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
  ASSERT_NE(directory, nullptr);
  EXPECT_EQ(directory[4] | directory[5] << 8, 1) << "images in the icon";
  const BYTE* image = directory + 6;
  EXPECT_EQ(image[0], 32);
  EXPECT_EQ(image[1], 32);
  EXPECT_EQ(image[2], 16) << "colours";
  EXPECT_EQ(image[6] | image[7] << 8, 4) << "bits per pixel";

  const std::unique_ptr<TForm1> form = forms_.CreateForm1();
  HWND window = dynamic_cast<Win32Form1&>(*form).Window();
  const auto big = reinterpret_cast<HICON>(::GetClassLongPtrW(window, GCLP_HICON));
  const auto small = reinterpret_cast<HICON>(::GetClassLongPtrW(window, GCLP_HICONSM));
  EXPECT_EQ(IconSide(big), ::GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(IconSide(small), ::GetSystemMetrics(SM_CXSMICON));
  // The window's own, which the system asks for first.
  EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, ICON_BIG, 0)), big);
  EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), small);
}

// The session ending gives the program no later moment: the book is closed
// and its folder removed before the message returns.
TEST_F(FormsTest, SessionEndClosesTheBookAndCleansUpBeforeTheMessageReturns) {
  const std::unique_ptr<TForm1> form = forms_.CreateForm1();
  HWND window = dynamic_cast<Win32Form1&>(*form).Window();
  bool cleaned = false;
  app_.SetEmergencyCleanup([&] { cleaned = app_.Terminated(); });
  EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_FALSE(app_.Terminated());
  ::SendMessageW(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(app_.Terminated());
  EXPECT_TRUE(cleaned);
}

}  // namespace
}  // namespace pagimor::win32
