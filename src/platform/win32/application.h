#pragma once
// The application object and system services on Win32.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/winapi.h"

namespace pagimor::win32 {

class Win32Timer;

class Win32Application final : public Application {
 public:
  Win32Application();
  ~Win32Application() override;

  // Prepares the component object model for this thread (the web browser
  // control needs it) and the common controls.
  void Initialize() override;
  void SetTitle(std::string_view title) override;
  [[nodiscard]] std::string Title() const override { return title_; }
  void RunMessageLoop() override;
  void ProcessMessages() override;
  void WaitForMessage(TickCount deadline) override;

  [[nodiscard]] TickCount GetTickCount() override;
  [[nodiscard]] std::uint64_t HighResolutionCounter() override;
  [[nodiscard]] ScreenSize PrimaryScreenSize() override;
  [[nodiscard]] LocalTime Now() override;
  [[nodiscard]] std::string LongTimeText() override;
  [[nodiscard]] std::string ShortDateText() override;
  [[nodiscard]] std::optional<std::u16string> ModuleFileName() override;
  [[nodiscard]] std::u16string TempPath() override;
  [[nodiscard]] std::optional<OsVersionInfo> VersionInfo() override;
  fs::ErrorCode MakeDirectory(std::u16string_view path) override;

  void ShowPlainMessage(std::string_view text) override;
  std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                               std::int32_t helpContext, MessageLanguage language) override;

  // A timer that calls onTick every interval milliseconds while it is
  // enabled; an interval of 0 never ticks. A tick does not begin while the
  // same timer's previous tick still runs (when its handler pumps messages).
  [[nodiscard]] std::unique_ptr<Timer> CreateTimer(std::uint32_t interval, std::function<void()> onTick,
                                                   bool enabled = true);

  // Keys meant for window, or for any window inside it, go through table
  // before they are dispatched: the main window's menu shortcuts. A null
  // table ends that. The caller keeps window and table alive meanwhile.
  void SetAccelerators(HWND window, HACCEL table);
  // Sees every message after those shortcuts and before it is dispatched;
  // true when it took the message (a hosted control's own keys). An empty
  // filter ends that.
  void SetMessageFilter(std::function<bool(MSG&)> filter) { message_filter_ = std::move(filter); }

 protected:
  void QuitMessageLoop() override;

 private:
  friend class Win32Timer;

  // Handles one pending message; false when there was none.
  bool ProcessMessage();
  // The hidden window that receives the timers' messages.
  HWND MessageWindow();
  static LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer(UINT_PTR id);
  UINT_PTR AddTimer(Win32Timer& timer);
  void RemoveTimer(UINT_PTR id);

  std::string title_;
  bool ole_initialized_ = false;
  HWND accelerator_window_ = nullptr;
  HACCEL accelerator_table_ = nullptr;
  std::function<bool(MSG&)> message_filter_;
  std::unique_ptr<WindowClass> message_class_;
  UniqueWindow message_window_;
  std::map<UINT_PTR, Win32Timer*> timers_;
  UINT_PTR next_timer_id_ = 1;
};

}  // namespace pagimor::win32
