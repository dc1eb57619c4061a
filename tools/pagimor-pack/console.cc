#include "console.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

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

void Complain(std::string_view text) { std::cerr << "pagimor-pack: " << text << '\n'; }

void ConsoleHost::ShowPlainMessage(std::string_view text) { Complain(subject_ + ": " + OneLine(text)); }

std::int32_t ConsoleHost::ShowLangMessage(std::string_view text, LangMessageType, LangMessageButtons, std::int32_t,
                                          MessageLanguage) {
  Complain(subject_ + ": " + OneLine(text));
  return 1;  // as if OK had been pressed
}

Progress::Progress(std::string verb, std::int64_t bytes)
    : verb_(std::move(verb)), shown_(bytes >= kProgressThreshold && ::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::Step(int done, int total) {
  if (!shown_) return;
  std::fprintf(stderr, "\rpagimor-pack: %s %d of %d files", verb_.c_str(), done, total);
  std::fflush(stderr);
}

}  // namespace pagimor::pack
