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

PartialBookGuard::PartialBookGuard() = default;
void PartialBookGuard::Watch(const std::u16string* /*path*/) {}
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


sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

// Blocked until the file is known: a signal between its making and the
// handler knowing its path would leave it behind.
PartialBookGuard::PartialBookGuard() {
  const sigset_t stop = StopSignals();
  ::sigprocmask(SIG_BLOCK, &stop, nullptr);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_mask = stop;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &action, &g_previous[i]);
}

void PartialBookGuard::Watch(const std::u16string* path) {
  if (path != nullptr) {
    const std::string native = PathText(ToPath(*path));
    if (native.size() < g_partial_path.size()) {
      std::memcpy(g_partial_path.data(), native.c_str(), native.size() + 1);
      g_partial_armed = 1;
    }
  }
  const sigset_t stop = StopSignals();
  ::sigprocmask(SIG_UNBLOCK, &stop, nullptr);
}

PartialBookGuard::~PartialBookGuard() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  g_partial_armed = 0;
  const sigset_t stop = StopSignals();
  ::sigprocmask(SIG_UNBLOCK, &stop, nullptr);
}

#endif

}  // namespace pagimor::pack
