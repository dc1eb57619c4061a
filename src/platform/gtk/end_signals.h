#pragma once
// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP, SIGQUIT)
// delivered as a call on the main loop, where the program can end by its
// normal road instead of dying with its book folder left behind.

#include <glib.h>
#include <signal.h>

#include <array>
#include <functional>

namespace pagimor::gtk {

class EndSignalWatch {
 public:
  // Calls onSignal on the main loop, once for each burst of signals.
  explicit EndSignalWatch(std::function<void()> onSignal);
  EndSignalWatch(const EndSignalWatch&) = delete;
  EndSignalWatch& operator=(const EndSignalWatch&) = delete;
  // Puts the previous handlers back.
  ~EndSignalWatch();

 private:
  static gboolean OnReadable(gint fd, GIOCondition condition, gpointer data);

  std::function<void()> on_signal_;
  int read_fd_ = -1;
  int write_fd_ = -1;
  guint source_ = 0;
  std::array<struct sigaction, 4> previous_{};
};

}  // namespace pagimor::gtk
