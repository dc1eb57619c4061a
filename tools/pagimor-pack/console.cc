#include "console.h"

#include <algorithm>

#include "platform/process.h"

namespace pagimor::pack {
namespace {

constexpr std::int64_t kProgressThreshold = 16 * 1024 * 1024;

std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    if (c == '\r') continue;
    line.push_back(c == '\n' ? ' ' : c);
  }
  return line;
}

}  // namespace

void Print(std::string_view text) { proc::WriteText(proc::Stream::Output, text); }

void Complain(std::string_view text) {
  std::string line = "pagimor-pack: ";
  line += text;
  line += '\n';
  proc::WriteText(proc::Stream::Error, line);
}

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

void ConsoleHost::ShowPlainMessage(std::string_view text) { Complain(subject_ + ": " + OneLine(text)); }

std::int32_t ConsoleHost::ShowLangMessage(std::string_view text, LangMessageType, LangMessageButtons, std::int32_t,
                                          MessageLanguage) {
  if (tellsViewerMessages_) Complain(subject_ + ": " + OneLine(text));
  return 1;  // as if OK had been pressed
}

Progress::Progress(std::string verb, std::int64_t bytes)
    : verb_(std::move(verb)), shown_(bytes >= kProgressThreshold && proc::IsTerminal(proc::Stream::Error)) {}

Progress::~Progress() {
  // Blanks over the line rather than an escape sequence, which not every
  // console understands.
  if (shown_ && width_ > 0) proc::WriteText(proc::Stream::Error, "\r" + std::string(width_, ' ') + "\r");
}

void Progress::Step(int done, int total) {
  if (!shown_) return;
  const std::string line =
      "pagimor-pack: " + verb_ + " " + std::to_string(done) + " of " + std::to_string(total) + " files";
  width_ = std::max(width_, line.size());
  proc::WriteText(proc::Stream::Error, "\r" + line);
}

}  // namespace pagimor::pack
