#include "platform/win32/timer.h"

#include <utility>

#include "platform/win32/application.h"

namespace pagimor::win32 {

Win32Timer::Win32Timer(Win32Application& app, std::uint32_t interval, std::function<void()> onTick, bool enabled)
    : app_(app),
      interval_(interval),
      handler_(std::make_shared<Handler>(Handler{std::move(onTick)})),
      enabled_(enabled) {
  id_ = app_.AddTimer(*this);
  Update();
}

Win32Timer::~Win32Timer() {
  handler_->timerAlive = false;
  if (running_) ::KillTimer(app_.MessageWindow(), id_);
  app_.RemoveTimer(id_);
}

void Win32Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;  // a running timer keeps counting
  enabled_ = enabled;
  Update();
}

void Win32Timer::Update() {
  const bool run = enabled_ && interval_ > 0;
  if (run == running_) return;
  HWND window = app_.MessageWindow();
  if (run) {
    running_ = window != nullptr && ::SetTimer(window, id_, interval_, nullptr) != 0;
  } else {
    ::KillTimer(window, id_);
    running_ = false;
  }
}

void Win32Timer::Tick() {
  if (ticking_ || !running_ || !handler_->onTick) return;
  const std::shared_ptr<Handler> handler = handler_;
  ticking_ = true;
  handler->onTick();
  if (handler->timerAlive) ticking_ = false;
}

}  // namespace pagimor::win32
