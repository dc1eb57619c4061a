#pragma once
// Owning references for GLib objects, strings and sources.

#include <glib-object.h>

#include <memory>
#include <utility>

namespace pagimor::gtk {

// Holds one reference to a GObject and drops it when it goes.
template <typename T>
class GObjectRef {
 public:
  GObjectRef() = default;
  // Takes over a reference the caller owns.
  static GObjectRef Adopt(T* object) { return GObjectRef(object); }
  // Adds a reference of its own; a floating reference is sunk.
  static GObjectRef Share(T* object) {
    if (object != nullptr) g_object_ref_sink(object);
    return GObjectRef(object);
  }
  GObjectRef(const GObjectRef&) = delete;
  GObjectRef& operator=(const GObjectRef&) = delete;
  GObjectRef(GObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectRef& operator=(GObjectRef&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~GObjectRef() { Reset(); }

  [[nodiscard]] T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void Reset() {
    if (object_ != nullptr) g_object_unref(std::exchange(object_, nullptr));
  }

 private:
  explicit GObjectRef(T* object) : object_(object) {}
  T* object_ = nullptr;
};

// A string that GLib allocated, released with g_free.
struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using OwnedString = std::unique_ptr<char, GFreeDeleter>;

// A GLib main-loop source that is removed when its owner goes.
class SourceId {
 public:
  SourceId() = default;
  explicit SourceId(guint id) : id_(id) {}
  SourceId(const SourceId&) = delete;
  SourceId& operator=(const SourceId&) = delete;
  SourceId(SourceId&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
  SourceId& operator=(SourceId&& other) noexcept {
    if (this != &other) {
      Reset();
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  ~SourceId() { Reset(); }

  [[nodiscard]] bool active() const { return id_ != 0; }
  // Forgets a source that has removed itself.
  void Release() { id_ = 0; }
  void Reset() {
    if (id_ != 0) g_source_remove(std::exchange(id_, 0));
  }

 private:
  guint id_ = 0;
};

}  // namespace pagimor::gtk
