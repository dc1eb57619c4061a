#include "platform/gtk/end_signals.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pagimor::gtk {

namespace {

constexpr std::array<int, 4> kEndSignals = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// The write end of the watch's pipe. A signal handler gets no data of its
// own, so this one descriptor has to be reachable from it; it is all the
// handler touches. GLib's own signal sources do not cover SIGQUIT, and a
// signalfd needs the signals blocked, a mask WebKit's helper processes
// would inherit.
volatile sig_atomic_t g_end_signal_pipe = -1;

// What CatchEarly made, for the watch made later to take over: it runs
// before the program's own code and has nowhere else to leave it.
struct EarlyCatch {
  int read_fd = -1;
  int write_fd = -1;
  std::array<struct sigaction, 4> previous{};
};
EarlyCatch g_early_catch;

void OnEndSignal(int /*signal*/) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost by dropping this one.
  if (::write(g_end_signal_pipe, &byte, 1) < 0) {
  }
  errno = saved;
}

}  // namespace

namespace {

// Opens the pipe and points the signals at it; false when there is no pipe.
bool Catch(int& readFd, int& writeFd, std::array<struct sigaction, 4>& previous) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  readFd = fds[0];
  writeFd = fds[1];
  g_end_signal_pipe = writeFd;
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kEndSignals.size(); ++i) ::sigaction(kEndSignals[i], &action, &previous[i]);
  // Blocked, they would never reach the handler; a launcher may have
  // blocked them for its own reasons.
  sigset_t ours;
  sigemptyset(&ours);
  for (const int signal : kEndSignals) sigaddset(&ours, signal);
  ::sigprocmask(SIG_UNBLOCK, &ours, nullptr);
  return true;
}

}  // namespace

void EndSignalWatch::CatchEarly() {
  if (g_early_catch.read_fd >= 0 || g_end_signal_pipe >= 0) return;
  EarlyCatch caught;
  if (Catch(caught.read_fd, caught.write_fd, caught.previous)) g_early_catch = caught;
}

EndSignalWatch::EndSignalWatch(std::function<void()> onSignal) : on_signal_(std::move(onSignal)) {
  if (g_early_catch.read_fd >= 0) {
    read_fd_ = std::exchange(g_early_catch.read_fd, -1);
    write_fd_ = std::exchange(g_early_catch.write_fd, -1);
    previous_ = g_early_catch.previous;
  } else if (!Catch(read_fd_, write_fd_, previous_)) {
    return;
  }
  // A byte already in the pipe makes the first turn of the loop call us.
  source_ = g_unix_fd_add(read_fd_, G_IO_IN, &EndSignalWatch::OnReadable, this);
}

EndSignalWatch::~EndSignalWatch() {
  if (read_fd_ < 0) return;
  for (std::size_t i = 0; i < kEndSignals.size(); ++i) ::sigaction(kEndSignals[i], &previous_[i], nullptr);
  g_end_signal_pipe = -1;
  if (source_ != 0) g_source_remove(source_);
  ::close(read_fd_);
  ::close(write_fd_);
}

gboolean EndSignalWatch::OnReadable(gint fd, GIOCondition /*condition*/, gpointer data) {
  char buffer[64];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
  static_cast<EndSignalWatch*>(data)->on_signal_();
  return G_SOURCE_CONTINUE;
}

}  // namespace pagimor::gtk
