#pragma once
// Small owners for the GLib, GTK and Pango handles the dialog holds.

#include <gtk/gtk.h>

#include <memory>
#include <utility>

namespace pagimor::gtk {

// One reference to a GObject, released when the owner goes.
template <class T>
class ObjectRef {
 public:
  ObjectRef() = default;
  // Takes over a reference the caller already holds.
  static ObjectRef Adopt(T* object) { return ObjectRef(object); }
  // Adds a reference of its own; a floating reference is sunk.
  static ObjectRef Share(T* object) {
    if (object != nullptr) g_object_ref_sink(object);
    return ObjectRef(object);
  }
  ObjectRef(const ObjectRef&) = delete;
  ObjectRef& operator=(const ObjectRef&) = delete;
  ObjectRef(ObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ObjectRef& operator=(ObjectRef&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~ObjectRef() { Reset(); }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void Reset() {
    if (object_ != nullptr) g_object_unref(std::exchange(object_, nullptr));
  }

 private:
  explicit ObjectRef(T* object) : object_(object) {}
  T* object_ = nullptr;
};

struct FontDescriptionFree {
  void operator()(PangoFontDescription* p) const { pango_font_description_free(p); }
};
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;

struct AttrListUnref {
  void operator()(PangoAttrList* p) const { pango_attr_list_unref(p); }
};
using AttrList = std::unique_ptr<PangoAttrList, AttrListUnref>;

struct GFree {
  void operator()(void* p) const { g_free(p); }
};
using OwnedString = std::unique_ptr<char, GFree>;

struct ListFree {
  void operator()(GList* p) const { g_list_free(p); }
};
using List = std::unique_ptr<GList, ListFree>;

}  // namespace pagimor::gtk
