#pragma once
// How the packer talks to its user: messages on stderr prefixed with the
// program's name, and a progress line while a large book is worked on.

#include <cstdint>
#include <string>
#include <string_view>

#include "vxwebtest/archive.h"

namespace pagimor::pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;

// Prints UTF-8 text on stdout.
void Print(std::string_view text);

// Prints "pagimor-pack: <text>" on stderr.
void Complain(std::string_view text);

// A path or name as messages show it: in double quotes.
std::string Quote(std::string_view s);

// The reader's messages, which the viewer shows in windows, go to stderr
// here, prefixed with the book they concern. There are no window messages.
class ConsoleHost final : public ArchiveHost {
 public:
  // A host that reports each refused name itself (verify) says the
  // viewer's message for it no more: tellsViewerMessages false.
  explicit ConsoleHost(std::string subject, bool tellsViewerMessages = true)
      : subject_(std::move(subject)), tellsViewerMessages_(tellsViewerMessages) {}
  void ProcessMessages() override {}
  void ShowPlainMessage(std::string_view text) override;
  std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                               std::int32_t helpContext, MessageLanguage language) override;

 private:
  std::string subject_;
  bool tellsViewerMessages_;
};

// A "done of total" line on stderr, redrawn in place; shown only when
// stderr is a terminal (a console on Windows) and the work is large enough
// to wait for.
class Progress {
 public:
  Progress(std::string verb, std::int64_t bytes);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress();
  void Step(int done, int total);

 private:
  std::string verb_;
  bool shown_;
  std::size_t width_ = 0;
};

}  // namespace pagimor::pack
