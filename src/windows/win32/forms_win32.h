#pragma once
// The program's windows on Win32, built from their resources (forms.rc)
// with the portable handlers bound to their messages.

// First: it sets how windows.h is read.
#include "platform/win32/winapi.h"

#include <array>
#include <memory>
#include <string>

#include "platform/win32/application.h"
#include "platform/win32/handles.h"
#include "windows/forms.h"
#include "windows/win32/webbrowser.h"

namespace pagimor::win32 {

// Pixels as laid out at 96 per inch, on this screen.
class DpiScale {
 public:
  DpiScale();
  explicit DpiScale(int dpi) : dpi_(dpi) {}
  [[nodiscard]] int operator()(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
  // This screen's pixels back in the layout's, to the nearest.
  [[nodiscard]] int ToLayout(int pixels) const { return ::MulDiv(pixels, 96, dpi_); }
  [[nodiscard]] int dpi() const { return dpi_; }

 private:
  int dpi_ = 96;
};

class Win32ProgressBar final : public ProgressBar {
 public:
  explicit Win32ProgressBar(HWND bar) : bar_(bar) {}
  void SetMin(int value) override;
  void SetMax(int value) override;
  void SetPosition(int value) override;
  [[nodiscard]] int Min() const override;
  [[nodiscard]] int Max() const override;
  [[nodiscard]] int Position() const override;

 private:
  HWND bar_;
};

class Win32Label final : public Label {
 public:
  explicit Win32Label(HWND label) : label_(label) {}
  void SetCaption(std::string_view text) override;
  [[nodiscard]] std::string Caption() const override;
  [[nodiscard]] bool Visible() const override;

 private:
  HWND label_;
};

class Win32Form2 final : public TForm2 {
 public:
  // Created hidden, centred on the screen.
  explicit Win32Form2(Win32Application& app);
  ~Win32Form2() override;

  void Show() override;
  void Hide() override;
  [[nodiscard]] bool Visible() const override;
  void Close() override;
  [[nodiscard]] ProgressBar& ProgBar1() override { return *progress_; }
  [[nodiscard]] Label& lblStatus() override { return *status_; }
  [[nodiscard]] Label& lblVersion() override { return *version_; }

  [[nodiscard]] HWND Window() const { return window_.get(); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Layout(HWND window);

  Win32Application& win32_;
  UniqueFont bold_;
  UniqueWindow window_;
  std::unique_ptr<Win32ProgressBar> progress_;
  std::unique_ptr<Win32Label> status_;
  std::unique_ptr<Win32Label> version_;
};

class Win32Form1 final : public TForm1 {
 public:
  // Makes the window hidden at its restored geometry, with its menu, status
  // bar and web browser; Create() runs its creation handler and shows it.
  // Laid out for the screen's pixels per inch; a test may name another.
  explicit Win32Form1(Win32Application& app) : Win32Form1(app, DpiScale()) {}
  Win32Form1(Win32Application& app, DpiScale scale);
  ~Win32Form1() override;
  void Create();

  void Show() override;
  void Hide() override;
  [[nodiscard]] bool Visible() const override;
  void Close() override;

  // The handlers' sizes are the layout's pixels: the sizing rule's
  // allowances for the frame, the menu and the status bar's last two panels
  // grow with the screen's pixels per inch, as those do.
  [[nodiscard]] WebView& WebBrowser1() override;
  [[nodiscard]] Timer& Timer1() override { return *clock_; }
  [[nodiscard]] Timer& tmrWatchWeb() override { return *watch_; }
  [[nodiscard]] int OuterWidth() const override;
  [[nodiscard]] int OuterHeight() const override;
  [[nodiscard]] int WebBrowser1Top() const override { return 0; }
  void SetWebBrowser1Size(int width, int height) override;
  void SetPanelText(int index, std::string_view text) override;
  void SetPanelWidth(int index, int width) override;

  [[nodiscard]] HWND Window() const { return window_.get(); }
  [[nodiscard]] HWND StatusBar() const { return status_bar_; }
  // Null when the system's control could not be made; failure() says why.
  [[nodiscard]] Win32WebBrowser* Browser() const { return browser_.get(); }
  [[nodiscard]] const std::string& failure() const { return failure_; }

 private:
  // Stands in for the control that could not be made.
  class NoWebView final : public WebView {
   public:
    void Navigate(std::u16string_view /*address*/) override {}
    [[nodiscard]] std::u16string LocationURL() const override { return {}; }
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnCreate(HWND window);
  void UpdateParts();

  Win32Application& win32_;
  DpiScale scale_;
  // Before the class, which uses them until it goes.
  UniqueIcon icon_;
  UniqueIcon small_icon_;
  std::unique_ptr<WindowClass> class_;
  UniqueAccelerators keys_;
  UniqueWindow window_;
  HWND status_bar_ = nullptr;  // a child: goes with the window
  std::unique_ptr<Win32WebBrowser> browser_;
  std::string failure_;
  NoWebView no_web_;
  std::unique_ptr<Timer> clock_;
  std::unique_ptr<Timer> watch_;
  std::array<int, 3> part_widths_{};
  bool created_ = false;
};

class Win32FormFactory final : public FormFactory {
 public:
  explicit Win32FormFactory(Win32Application& app) : app_(app) {}
  [[nodiscard]] std::unique_ptr<TForm2> CreateForm2() override;
  // When the web browser cannot be made, the reader is told why and the
  // window closes at once, so the run ends by its normal road.
  [[nodiscard]] std::unique_ptr<TForm1> CreateForm1() override;

 private:
  Win32Application& app_;
};

}  // namespace pagimor::win32
