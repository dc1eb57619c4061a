#pragma once
// The toolkit timer as a GObject type, so that window layouts can declare
// timers like any other component:
//   <object class="PagimorTimer" id="Timer1">
//     <property name="interval">1000</property>
//     <signal name="timer" handler="Timer1Timer"/>
//   </object>
// While "enabled" is true (the default) it emits "timer" every "interval"
// milliseconds (default 1000). Enabling a running timer changes nothing.

#include <glib-object.h>

#include "platform/gtk/gobject_ref.h"
#include "platform/platform.h"

namespace pagimor::gtk {

// Registers the type on first use; call before a layout names it.
GType TimerType();

// The Timer interface over one PagimorTimer object.
class GtkTimer final : public Timer {
 public:
  explicit GtkTimer(GObject* timer) : timer_(GObjectRef<GObject>::Share(timer)) {}
  void SetEnabled(bool enabled) override;
  [[nodiscard]] bool Enabled() const override;
  [[nodiscard]] std::uint32_t Interval() const override;

 private:
  GObjectRef<GObject> timer_;
};

}  // namespace pagimor::gtk
