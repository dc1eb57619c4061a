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
  // Catches the signals from here on, before the watch exists: one that
  // comes meanwhile waits for it, and the watch's first turn of the main
  // loop hears of it. For the program's first instruction, since starting
  // the toolkit takes a while, during which a signal would end the process
  // with its default action. Also lets through the signals that the program
  // was started with blocked. Only once, before any watch is made.
  static void CatchEarly();

  // Calls onSignal on the main loop, once for each burst of signals (also
  // for one caught early), and unblocks the signals.
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
