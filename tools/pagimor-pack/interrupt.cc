#include "interrupt.h"

#if !defined(_WIN32)
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "paths.h"
#endif

namespace pagimor::pack {

#if defined(_WIN32)

PartialBookGuard::PartialBookGuard(const std::u16string& /*path*/) {}
PartialBookGuard::~PartialBookGuard() = default;

#else

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// A signal handler gets no data of its own: the path it removes and the
// dispositions to restore have to be reachable from it, and from the guard
// that sets them. One guard at a time, for the one book a run writes.
std::array<char, PATH_MAX + 1> g_partial_path{};
volatile sig_atomic_t g_partial_armed = 0;
std::array<struct sigaction, 3> g_previous{};

void OnStopSignal(int signal) {
  if (g_partial_armed != 0) ::unlink(g_partial_path.data());
  // Ends the process as the signal does by default, so that the caller
  // (a shell, a build) learns that the run was stopped.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

PartialBookGuard::PartialBookGuard(const std::u16string& path) {
  const std::string native = PathText(ToPath(path));
  if (native.size() >= g_partial_path.size()) return;
  std::memcpy(g_partial_path.data(), native.c_str(), native.size() + 1);
  g_partial_armed = 1;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &action, &g_previous[i]);
}

PartialBookGuard::~PartialBookGuard() {
  if (g_partial_armed == 0) return;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  g_partial_armed = 0;
}

#endif

}  // namespace pagimor::pack
