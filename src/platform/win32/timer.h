#pragma once
// The toolkit timer on Win32: SetTimer on the application's hidden window.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/winapi.h"

namespace pagimor::win32 {

class Win32Application;

class Win32Timer final : public Timer {
 public:
  Win32Timer(Win32Application& app, std::uint32_t interval, std::function<void()> onTick, bool enabled);
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;
  ~Win32Timer() override;

  void SetEnabled(bool enabled) override;
  [[nodiscard]] bool Enabled() const override { return enabled_; }
  [[nodiscard]] std::uint32_t Interval() const override { return interval_; }

 private:
  friend class Win32Application;
  void Tick();
  // Runs the system timer while enabled with a non-zero interval.
  void Update();

  // The handler, shared with a tick that runs it: a handler that destroys
  // its timer goes on running, and the tick then touches the timer no more.
  struct Handler {
    std::function<void()> onTick;
    bool timerAlive = true;
  };

  Win32Application& app_;
  std::uint32_t interval_;
  std::shared_ptr<Handler> handler_;
  bool enabled_;
  bool running_ = false;
  bool ticking_ = false;
  UINT_PTR id_ = 0;
};

}  // namespace pagimor::win32
