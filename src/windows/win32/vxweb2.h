#pragma once
// The About box on Win32: the product, its version and an OK button that
// closes it. Its layout is the dialog resource of vxweb2.rc, linked into the
// program. Nothing in the program shows it yet; it stands ready as a
// finished window.

#include "platform/win32/handles.h"
#include "platform/win32/winapi.h"

namespace pagimor {

class TfrmAbout {
 public:
  // Creates the box, hidden and centred on the screen, from its layout.
  // Throws std::runtime_error when the layout is missing or the system
  // refuses the window.
  TfrmAbout();
  ~TfrmAbout();
  TfrmAbout(const TfrmAbout&) = delete;
  TfrmAbout& operator=(const TfrmAbout&) = delete;

  void Show();
  // The toolkit's close operation: the box is hidden, nothing else ends.
  void Close();

  // The OK button's click handler.
  void BitBtn1Click(HWND sender);

  HWND Handle() const { return frmAbout_.get(); }
  HWND BitBtn1() const { return BitBtn1_; }
  HWND lblVersion() const { return lblVersion_; }
  HWND Label1() const { return Label1_; }
  HWND Label2() const { return Label2_; }

 private:
  void LayOut();
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Declared before the window, so that the window goes first.
  win32::UniqueIcon icon_;
  win32::UniqueIcon smallIcon_;
  win32::UniqueIcon glyph_;
  win32::UniqueFont boldFont_;
  win32::UniqueWindow frmAbout_;
  HWND BitBtn1_ = nullptr;
  HWND lblVersion_ = nullptr;
  HWND Label1_ = nullptr;
  HWND Label2_ = nullptr;
};

}  // namespace pagimor
