#include "platform/gtk/timer.h"

namespace pagimor::gtk {

namespace {

constexpr guint kDefaultInterval = 1000;

struct TimerObject {
  GObject parent;
  gboolean enabled;
  guint interval;
  guint source;  // the running GLib timeout, 0 when none
};

struct TimerClass {
  GObjectClass parent;
};

enum : guint { kPropEnabled = 1, kPropInterval };

guint timer_signal = 0;

TimerObject* AsTimer(gpointer object) { return static_cast<TimerObject*>(object); }

gboolean OnTimeout(gpointer data) {
  g_signal_emit(data, timer_signal, 0);
  return G_SOURCE_CONTINUE;
}

void Stop(TimerObject* timer) {
  if (timer->source != 0) {
    g_source_remove(timer->source);
    timer->source = 0;
  }
}

// Runs the timeout while the timer is enabled with a non-zero interval.
void Update(TimerObject* timer) {
  if (timer->enabled && timer->interval > 0) {
    if (timer->source == 0) timer->source = g_timeout_add(timer->interval, OnTimeout, timer);
  } else {
    Stop(timer);
  }
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  TimerObject* timer = AsTimer(object);
  switch (id) {
    case kPropEnabled:
      timer->enabled = g_value_get_boolean(value);
      Update(timer);
      break;
    case kPropInterval:
      timer->interval = g_value_get_uint(value);
      Stop(timer);  // a new interval starts counting afresh
      Update(timer);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  const TimerObject* timer = AsTimer(object);
  switch (id) {
    case kPropEnabled:
      g_value_set_boolean(value, timer->enabled);
      break;
    case kPropInterval:
      g_value_set_uint(value, timer->interval);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

GObjectClass* parent_class = nullptr;

void Dispose(GObject* object) {
  Stop(AsTimer(object));
  parent_class->dispose(object);
}

void ClassInit(gpointer klass, gpointer /*data*/) {
  auto* object_class = static_cast<GObjectClass*>(klass);
  parent_class = static_cast<GObjectClass*>(g_type_class_peek_parent(klass));
  object_class->set_property = SetProperty;
  object_class->get_property = GetProperty;
  object_class->dispose = Dispose;
  g_object_class_install_property(
      object_class, kPropEnabled,
      g_param_spec_boolean("enabled", "Enabled", "Whether the timer ticks", TRUE,
                           static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
  g_object_class_install_property(
      object_class, kPropInterval,
      g_param_spec_uint("interval", "Interval", "Milliseconds between ticks", 0, G_MAXUINT, kDefaultInterval,
                        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
  timer_signal = g_signal_new("timer", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr, nullptr, nullptr,
                              G_TYPE_NONE, 0);
}

void InstanceInit(GTypeInstance* instance, gpointer /*klass*/) {
  TimerObject* timer = AsTimer(instance);
  timer->enabled = TRUE;
  timer->interval = kDefaultInterval;
  timer->source = 0;
  // The timeout starts once the layout has set the properties, on the
  // first notification, or right away for a timer made in code.
  Update(timer);
}

}  // namespace

GType TimerType() {
  static const GType type = g_type_register_static_simple(G_TYPE_OBJECT, "PagimorTimer", sizeof(TimerClass),
                                                          ClassInit, sizeof(TimerObject), InstanceInit,
                                                          static_cast<GTypeFlags>(0));
  return type;
}

void GtkTimer::SetEnabled(bool enabled) { g_object_set(timer_.get(), "enabled", gboolean{enabled}, nullptr); }

bool GtkTimer::Enabled() const {
  gboolean enabled = FALSE;
  g_object_get(timer_.get(), "enabled", &enabled, nullptr);
  return enabled != FALSE;
}

std::uint32_t GtkTimer::Interval() const {
  guint interval = 0;
  g_object_get(timer_.get(), "interval", &interval, nullptr);
  return interval;
}

}  // namespace pagimor::gtk
