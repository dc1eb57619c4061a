#pragma once
// Small owners for the Pango and GLib list handles the dialog holds; GObject
// references and GLib strings have theirs beside the platform layer.

#include <gtk/gtk.h>

#include "platform/gtk/gobject_ref.h"

#include <memory>

namespace pagimor::gtk {

struct FontDescriptionFree {
  void operator()(PangoFontDescription* p) const { pango_font_description_free(p); }
};
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;

struct AttrListUnref {
  void operator()(PangoAttrList* p) const { pango_attr_list_unref(p); }
};
using AttrList = std::unique_ptr<PangoAttrList, AttrListUnref>;

struct ListFree {
  void operator()(GList* p) const { g_list_free(p); }
};
using List = std::unique_ptr<GList, ListFree>;

}  // namespace pagimor::gtk
