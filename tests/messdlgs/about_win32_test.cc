// The About box on Win32, built from its dialog resource and read back.
#include <gtest/gtest.h>

#include <string>

#include "messdlgs/win32_support.h"
#include "platform/win32/application.h"
#include "windows/win32/vxweb2.h"

namespace pagimor {
namespace {

using namespace pagimor::testing;

[[maybe_unused]] const bool kUnmanaged = UnmanagedUnderWine(L"about_win32_test.exe");

class AboutBoxWin32 : public ::testing::Test {
 protected:
  void SetUp() override { app_.Initialize(); }
  // Handles what is pending as the application's loop would, dialog keys
  // included.
  void Pump() { app_.ProcessMessages(); }
  win32::Win32Application app_;
};

// The height of the label's text when drawn into the label's width.
int DrawnHeight(HWND label) {
  const std::string text = TextOf(label);
  const std::wstring wide = win32::Utf8ToWide(text);
  const win32::WindowDC dc(label);
  const win32::SelectedObject withFont(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT r{0, 0, BoundsInParent(label).width, 0};
  ::DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &r, DT_CALCRECT | DT_WORDBREAK);
  return r.bottom - r.top;
}

int Weight(HWND control) {
  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfWeight;
}

TEST_F(AboutBoxWin32, IsLaidOutAsDesignedAndClosesWithOk) {
  TfrmAbout about;
  HWND window = about.Handle();
  EXPECT_EQ(TextOf(window), "About This Pagimor");
  EXPECT_FALSE(::IsWindowVisible(window));  // created hidden
  const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(::SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);

  about.Show();
  ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(window) != 0; }));
  EXPECT_EQ(ClientBox(window), (Box{0, 0, 399, 127}));
  // Centred on the screen, not at a laid-out place.
  const Box outer = WindowBox(window);
  EXPECT_NEAR(outer.left, (::GetSystemMetrics(SM_CXSCREEN) - outer.width) / 2, 1);
  EXPECT_NEAR(outer.top, (::GetSystemMetrics(SM_CYSCREEN) - outer.height) / 2, 1);

  EXPECT_EQ(BoundsInParent(about.BitBtn1()), (Box{127, 94, 145, 25}));
  EXPECT_EQ(TextOf(about.BitBtn1()), "OK");
  EXPECT_NE(::SendMessageW(about.BitBtn1(), BM_GETIMAGE, IMAGE_ICON, 0), 0);  // the OK glyph
  const LRESULT defId = ::SendMessageW(window, DM_GETDEFID, 0, 0);
  EXPECT_EQ(HIWORD(defId), DC_HASDEFID);
  EXPECT_EQ(::GetDlgItem(window, LOWORD(defId)), about.BitBtn1());
  EXPECT_EQ(::GetFocus(), about.BitBtn1());

  EXPECT_EQ(BoundsInParent(about.lblVersion()), (Box{296, 8, 97, 17}));
  EXPECT_EQ(TextOf(about.lblVersion()), "Version 1.9");
  EXPECT_EQ(::GetWindowLongPtrW(about.lblVersion(), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_EQ(Weight(about.lblVersion()), FW_BOLD);

  EXPECT_EQ(BoundsInParent(about.Label1()), (Box{16, 32, 361, 33}));
  EXPECT_NE(TextOf(about.Label1()).find("quiz"), std::string::npos);
  // The sentence fits the two lines it has room for.
  EXPECT_LE(DrawnHeight(about.Label1()), 33);
  const Box label2 = BoundsInParent(about.Label2());
  EXPECT_EQ(label2.left, 16);
  EXPECT_EQ(label2.top, 58);
  EXPECT_LE(label2.left + label2.width, 399);
  EXPECT_NE(TextOf(about.Label2()).find("Pagimor"), std::string::npos);
  EXPECT_NE(TextOf(about.Label2()).find("©"), std::string::npos);

  // Enter presses OK, which hides the box; nothing else ends.
  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
  Pump();
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_FALSE(app_.Terminated());
  // The title bar's close hides it as well; Esc does not.
  about.Show();
  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
  Pump();
  EXPECT_TRUE(::IsWindowVisible(window));
  ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  Pump();
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_TRUE(::IsWindow(window));
}

TEST_F(AboutBoxWin32, IsDestroyedWithItsObject) {
  HWND window = nullptr;
  {
    TfrmAbout about;
    window = about.Handle();
    EXPECT_TRUE(::IsWindow(window));
  }
  EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
}  // namespace pagimor
