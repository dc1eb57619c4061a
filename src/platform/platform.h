#pragma once
// The narrow interface between the portable viewer (start-up sequence, book
// folder, window handlers) and the desktop it runs on. The GTK desktop
// supplies one implementation; the tests supply a fake with a fake clock.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file.h"
#include "vxwebtest/archive.h"

namespace pagimor {

// The 32-bit millisecond tick counter; it wraps after about 49.7 days, so
// durations are always taken as unsigned differences.
using TickCount = std::uint32_t;

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;  // 0 to 23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

struct ScreenSize {
  int width = 0;
  int height = 0;
};

// What the system reports about itself, in the shape the version gate reads.
struct OsVersionInfo {
  std::uint32_t platformId = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::string servicePack;
};

// A toolkit timer: ticks every interval while enabled. Enabling a running
// timer changes nothing.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetEnabled(bool enabled) = 0;
  [[nodiscard]] virtual bool Enabled() const = 0;
  [[nodiscard]] virtual std::uint32_t Interval() const = 0;
};

class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetMin(int value) = 0;
  virtual void SetMax(int value) = 0;
  virtual void SetPosition(int value) = 0;
  [[nodiscard]] virtual int Min() const = 0;
  [[nodiscard]] virtual int Max() const = 0;
  [[nodiscard]] virtual int Position() const = 0;
};

class Label {
 public:
  virtual ~Label() = default;
  virtual void SetCaption(std::string_view text) = 0;
  [[nodiscard]] virtual std::string Caption() const = 0;
  [[nodiscard]] virtual bool Visible() const = 0;
};

// The embedded web view.
class WebView {
 public:
  virtual ~WebView() = default;
  // Starts a navigation and returns at once; a plain file path is accepted.
  virtual void Navigate(std::u16string_view address) = 0;
  // The address of the page shown now.
  [[nodiscard]] virtual std::u16string LocationURL() const = 0;
};

class Application;

// A toolkit window as the application object sees it. Creating one goes
// through Application::FormCreated, destroying one through FormDestroyed.
class Form {
 public:
  explicit Form(Application& app);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form();

  virtual void Show() = 0;
  virtual void Hide() = 0;
  [[nodiscard]] virtual bool Visible() const = 0;
  // The toolkit's close operation: runs the window's close handler, then
  // ends the application when this is its main window.
  virtual void Close() = 0;

  [[nodiscard]] Application& app() const { return app_; }

 private:
  Application& app_;
};

// The application object and the system services the portable code uses.
// The create-form rule and the end of the message loop are kept here, the
// same on every platform; the rest is the platform's.
class Application : public ArchiveHost {
 public:
  Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  ~Application() override = default;

  // --- application object ---
  virtual void Initialize() = 0;
  virtual void SetTitle(std::string_view title) = 0;
  [[nodiscard]] virtual std::string Title() const = 0;
  // Runs the message loop until the application is terminated; returns at
  // once when it already is.
  virtual void RunMessageLoop() = 0;
  // ProcessMessages (from ArchiveHost): handles every pending message once.
  // Blocks until a message is pending or the tick counter reaches deadline,
  // whichever comes first; a message that arrives may be handled at once.
  virtual void WaitForMessage(TickCount deadline) = 0;

  // --- system ---
  [[nodiscard]] virtual TickCount GetTickCount() = 0;
  [[nodiscard]] virtual std::uint64_t HighResolutionCounter() = 0;
  [[nodiscard]] virtual ScreenSize PrimaryScreenSize() = 0;
  [[nodiscard]] virtual LocalTime Now() = 0;
  // The local time and date in the locale's long time and short date format.
  [[nodiscard]] virtual std::string LongTimeText() = 0;
  [[nodiscard]] virtual std::string ShortDateText() = 0;
  // The running program's own file; nothing when the system cannot say.
  [[nodiscard]] virtual std::optional<std::u16string> ModuleFileName() = 0;
  // The temporary directory, ending with a separator.
  [[nodiscard]] virtual std::u16string TempPath() = 0;
  // Nothing when the query fails.
  [[nodiscard]] virtual std::optional<OsVersionInfo> VersionInfo() = 0;
  // Creates a folder that only its owner may enter; 0 or the system's code.
  virtual fs::ErrorCode MakeDirectory(std::u16string_view path) = 0;

  // --- the create-form rule ---
  // The first form created while there is no main window becomes it.
  void FormCreated(Form& form) {
    if (main_form_ == nullptr) main_form_ = &form;
  }
  void FormDestroyed(Form& form) {
    if (main_form_ == &form) main_form_ = nullptr;
  }
  // The close action once a form's close handler has run: closing the main
  // window ends the application, any other window is hidden.
  void FormClosed(Form& form) {
    if (main_form_ == &form) {
      Terminate();
    } else {
      form.Hide();
    }
  }
  [[nodiscard]] Form* MainForm() const { return main_form_; }
  void Terminate() {
    terminated_ = true;
    QuitMessageLoop();
  }
  [[nodiscard]] bool Terminated() const { return terminated_; }

  // --- ending from outside ---
  // The system asks the program to end (a signal, the session closing):
  // the main window closes as its close box would close it, so the run
  // ends by its normal road; without one the application ends. Only the
  // first request counts.
  void RequestEnd() {
    if (end_requested_) return;
    end_requested_ = true;
    if (main_form_ != nullptr) {
      main_form_->Close();
    } else {
      Terminate();
    }
  }
  // What must still be done when the process has to end at once, with no
  // road left through the message loop (the display has gone): the run
  // sets it while its book folder exists. Runs at most once.
  void SetEmergencyCleanup(std::function<void()> cleanup) { emergency_cleanup_ = std::move(cleanup); }
  void RunEmergencyCleanup() {
    if (std::function<void()> cleanup = std::exchange(emergency_cleanup_, nullptr)) cleanup();
  }

 protected:
  // Makes a running message loop return.
  virtual void QuitMessageLoop() = 0;

 private:
  Form* main_form_ = nullptr;
  bool terminated_ = false;
  bool end_requested_ = false;
  std::function<void()> emergency_cleanup_;
};

inline Form::Form(Application& app) : app_(app) { app_.FormCreated(*this); }
inline Form::~Form() { app_.FormDestroyed(*this); }

// Handles messages as they arrive until duration milliseconds have passed
// by the tick counter since start. Between messages it waits instead of
// polling, so a pause costs no processor time; unsigned differences keep a
// wrap of the counter from ending it early or never.
inline void PumpMessagesUntil(Application& app, TickCount start, std::uint32_t duration) {
  for (;;) {
    TickCount elapsed = app.GetTickCount() - start;
    if (elapsed >= duration) return;
    app.ProcessMessages();
    elapsed = app.GetTickCount() - start;
    if (elapsed >= duration) return;
    app.WaitForMessage(start + duration);
  }
}

}  // namespace pagimor
