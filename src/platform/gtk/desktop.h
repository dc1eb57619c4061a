#pragma once
// The application object and system services on the GTK 3 desktop.

#include <glib.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace pagimor::gtk {

class DesktopApplication final : public Application {
 public:
  DesktopApplication() = default;
  ~DesktopApplication() override = default;

  // Opens the display; false when there is none. Initialize() calls it too.
  static bool OpenDisplay();

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
  fs::ErrorCode CreateDirectory(std::u16string_view path) override;

  void ShowPlainMessage(std::string_view text) override;
  std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                               std::int32_t helpContext, MessageLanguage language) override;

 protected:
  void QuitMessageLoop() override;

 private:
  std::string title_;
  std::vector<GPollFD> poll_fds_ = std::vector<GPollFD>(16);
};

}  // namespace pagimor::gtk
