#pragma once
// A desktop without a display: a fake clock that moves only while the code
// waits, scheduled events that stand for the messages a real desktop would
// deliver, and windows that write what is done to them into one log.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "windows/forms.h"

namespace pagimor::test {

// A folder as the temporary path the system gives: ending with a separator.
inline std::u16string TempPathOf(const std::filesystem::path& folder) {
  return folder.u16string() + fs::kSeparator;
}

// What the reader reads when no book folder can be made in temp: Windows
// readers are sent to their system's temporary folder, the others to the
// one named.
inline std::string FolderMessageFor(const std::filesystem::path& temp, const std::string& reason) {
#if defined(_WIN32)
  static_cast<void>(temp);
  return "There was an error creating a temporary folder.\r\n"
         "Try cleaning the Windows temporary folder and run the ebook again.\r\nError: " +
         reason;
#else
  return "There was an error creating a temporary folder.\r\nTry cleaning the temporary folder " + temp.string() +
         " and run the ebook again.\r\nError: " + reason;
#endif
}

// The system's code for a folder made under a regular file.
#if defined(_WIN32)
inline constexpr fs::ErrorCode kUnderAFile = 3;  // ERROR_PATH_NOT_FOUND
#else
inline constexpr fs::ErrorCode kUnderAFile = 20;  // ENOTDIR
#endif

class FakeApplication : public Application {
 public:
  // --- what the test sets ---
  TickCount clock = 0;
  std::optional<std::u16string> exePath;
  std::u16string tempPath;
  std::optional<OsVersionInfo> version = OsVersionInfo{2, 10, 0, ""};
  LocalTime now{2026, 12, 8, 5, 52, 41, 250};
  // Runs inside the message loop; by default the main window is closed.
  std::function<void()> onLoop;
  // Replaces the real folder creation when set.
  std::function<fs::ErrorCode(std::u16string_view)> createDirectory;
  // Runs while a message is on screen, before it is answered.
  std::function<void()> onMessage;

  // --- what the test reads ---
  std::vector<std::string> log;
  int processCalls = 0;
  std::optional<TickCount> firstFolderAttempt;
  int folderAttempts = 0;
  bool langArgumentsOk = true;

  // Runs action once the clock has reached at.
  void Schedule(TickCount at, std::function<void()> action) { events_.push_back(Event{at, std::move(action)}); }

  void Initialize() override { log.emplace_back("Initialize"); }
  void SetTitle(std::string_view title) override { title_ = std::string(title); }
  [[nodiscard]] std::string Title() const override { return title_; }
  void RunMessageLoop() override;
  void ProcessMessages() override;
  void WaitForMessage(TickCount deadline) override;

  [[nodiscard]] TickCount GetTickCount() override { return clock; }
  [[nodiscard]] std::uint64_t HighResolutionCounter() override { return 12345; }
  [[nodiscard]] ScreenSize PrimaryScreenSize() override { return {1280, 1024}; }
  [[nodiscard]] LocalTime Now() override { return now; }
  [[nodiscard]] std::string LongTimeText() override { return "05:52:41"; }
  [[nodiscard]] std::string ShortDateText() override { return "08/12/26"; }
  [[nodiscard]] std::optional<std::u16string> ModuleFileName() override { return exePath; }
  [[nodiscard]] std::u16string TempPath() override { return tempPath; }
  [[nodiscard]] std::optional<OsVersionInfo> VersionInfo() override {
    log.emplace_back("VersionInfo");
    return version;
  }
  fs::ErrorCode MakeDirectory(std::u16string_view path) override;

  void ShowPlainMessage(std::string_view text) override {
    log.push_back("plain: " + std::string(text));
    if (onMessage) onMessage();
  }
  std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                               std::int32_t helpContext, MessageLanguage language) override;

 protected:
  void QuitMessageLoop() override { log.emplace_back("QuitMessageLoop"); }

 private:
  struct Event {
    TickCount at;
    std::function<void()> action;
  };
  // The earliest event as seen from the clock now, so that a wrap of the
  // counter keeps them in order; the first scheduled among equals.
  [[nodiscard]] std::size_t Earliest() const;
  std::string title_;
  std::vector<Event> events_;
};

class FakeTimer final : public Timer {
 public:
  FakeTimer(bool enabled, std::uint32_t interval) : enabled_(enabled), interval_(interval) {}
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  [[nodiscard]] bool Enabled() const override { return enabled_; }
  [[nodiscard]] std::uint32_t Interval() const override { return interval_; }

 private:
  bool enabled_;
  std::uint32_t interval_;
};

class FakeWebView final : public WebView {
 public:
  explicit FakeWebView(std::vector<std::string>& log) : log_(log) {}
  void Navigate(std::u16string_view address) override;
  [[nodiscard]] std::u16string LocationURL() const override {
    ++locationReads;
    return location;
  }
  std::u16string location;
  mutable int locationReads = 0;

 private:
  std::vector<std::string>& log_;
};

class FakeForm2 final : public TForm2 {
 public:
  explicit FakeForm2(FakeApplication& app);
  ~FakeForm2() override { log_.emplace_back("Form2.Destroy"); }
  void Show() override;
  void Hide() override;
  [[nodiscard]] bool Visible() const override { return visible_; }
  void Close() override { app().FormClosed(*this); }
  [[nodiscard]] ProgressBar& ProgBar1() override { return bar_; }
  [[nodiscard]] Label& lblStatus() override { return status_; }
  [[nodiscard]] Label& lblVersion() override { return version_; }

 private:
  class Bar final : public ProgressBar {
   public:
    explicit Bar(std::vector<std::string>& log) : log_(log) {}
    void SetMin(int value) override {
      min_ = value;
      log_.push_back("ProgBar1.Min=" + std::to_string(value));
    }
    void SetMax(int value) override {
      max_ = value;
      log_.push_back("ProgBar1.Max=" + std::to_string(value));
    }
    void SetPosition(int value) override {
      position_ = value;
      log_.push_back("ProgBar1.Position=" + std::to_string(value));
    }
    [[nodiscard]] int Min() const override { return min_; }
    [[nodiscard]] int Max() const override { return max_; }
    [[nodiscard]] int Position() const override { return position_; }

   private:
    std::vector<std::string>& log_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
  };
  class Text final : public Label {
   public:
    Text(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)), caption_(name_) {}
    void SetCaption(std::string_view text) override {
      caption_ = std::string(text);
      log_.push_back(name_ + "=" + caption_);
    }
    [[nodiscard]] std::string Caption() const override { return caption_; }
    [[nodiscard]] bool Visible() const override { return false; }

   private:
    std::vector<std::string>& log_;
    std::string name_;
    std::string caption_;
  };
  std::vector<std::string>& log_;
  bool visible_ = false;
  Bar bar_;
  Text status_;
  Text version_;
};

class FakeForm1 final : public TForm1 {
 public:
  explicit FakeForm1(FakeApplication& app);
  ~FakeForm1() override { log_.emplace_back("Form1.Destroy"); }
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  [[nodiscard]] bool Visible() const override { return visible; }
  // The toolkit's close operation: the bound close handler, then the action.
  void Close() override {
    ++closeRequests;
    FormClose();
    app().FormClosed(*this);
  }
  [[nodiscard]] WebView& WebBrowser1() override { return web; }
  [[nodiscard]] Timer& Timer1() override { return clock; }
  [[nodiscard]] Timer& tmrWatchWeb() override { return watch; }
  [[nodiscard]] int OuterWidth() const override { return outerWidth; }
  [[nodiscard]] int OuterHeight() const override { return outerHeight; }
  [[nodiscard]] int WebBrowser1Top() const override { return 0; }
  void SetWebBrowser1Size(int width, int height) override {
    webWidth = width;
    webHeight = height;
  }
  void SetPanelText(int index, std::string_view text) override {
    panelText.at(static_cast<std::size_t>(index)) = std::string(text);
  }
  void SetPanelWidth(int index, int width) override { panelWidth.at(static_cast<std::size_t>(index)) = width; }

  bool visible = false;
  int closeRequests = 0;
  int outerWidth = 1288;
  int outerHeight = 1002;
  int webWidth = 489;
  int webHeight = 209;
  std::vector<std::string> panelText{"InfoText", "Time", "Date"};
  std::vector<int> panelWidth{50, 100, 100};
  FakeWebView web;
  FakeTimer clock{true, 1000};
  FakeTimer watch{false, 500};

 private:
  std::vector<std::string>& log_;
};

class FakeForms final : public FormFactory {
 public:
  explicit FakeForms(FakeApplication& app) : app_(app) {}
  [[nodiscard]] std::unique_ptr<TForm2> CreateForm2() override { return std::make_unique<FakeForm2>(app_); }
  [[nodiscard]] std::unique_ptr<TForm1> CreateForm1() override;
  // The viewer window while it exists.
  FakeForm1* form1 = nullptr;

 private:
  FakeApplication& app_;
};

}  // namespace pagimor::test
