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

  Win32Application& app_;
  std::uint32_t interval_;
  std::function<void()> on_tick_;
  bool enabled_;
  bool running_ = false;
  bool ticking_ = false;
  // Cleared when the timer goes, so that a tick whose handler destroyed the
  // timer does not touch it afterwards.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  UINT_PTR id_ = 0;
};

}  // namespace pagimor::win32
