#pragma once
// The application object and system services on the GTK 3 desktop.

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/end_signals.h"
#include "platform/platform.h"

// Xlib's display, named here without its header and the macros it defines.
struct _XDisplay;

namespace pagimor::gtk {

class DesktopApplication final : public Application {
 public:
  DesktopApplication() = default;
  ~DesktopApplication() override;

  // Opens the display; false when there is none. Initialize() calls it too.
  static bool OpenDisplay();

  // Opens the display and from then on turns the signals that ask a program
  // to end into RequestEnd(), and the loss of the display into the
  // emergency cleanup and exit status 0.
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

  // Once the application is ending no message is shown: nobody asked for one.
  void ShowPlainMessage(std::string_view text) override;
  std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                               std::int32_t helpContext, MessageLanguage language) override;

 protected:
  void QuitMessageLoop() override;

 private:
  std::string title_;
  std::vector<GPollFD> poll_fds_ = std::vector<GPollFD>(16);
  std::unique_ptr<EndSignalWatch> end_signals_;
  // The plain message on screen, which an ending application takes away.
  GtkDialog* plain_message_ = nullptr;
  // Xlib's handler for a lost display before ours.
  int (*previous_display_lost_)(::_XDisplay*) = nullptr;
  // The watch for a Wayland compositor that goes away.
  GSource* compositor_watch_ = nullptr;
};

}  // namespace pagimor::gtk
