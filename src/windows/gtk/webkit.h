#pragma once
// The web engine, WebKitGTK, is loaded when the viewer starts instead of
// being linked to it: systems ship it as libwebkit2gtk-4.1 (with libsoup 3)
// or only as libwebkit2gtk-4.0 (with libsoup 2), with the same functions,
// and one program runs on both. Its headers are used only for the types.

#include <webkit2/webkit2.h>

#include <array>
#include <optional>
#include <span>

namespace pagimor::gtk {

// Every webkit_* function the viewer calls, one line each; a function used
// anywhere in the viewer comes from this table, never from a direct call.
#define PAGIMOR_WEBKIT_FUNCTIONS(F)      \
  F(webkit_web_view_get_type)            \
  F(webkit_web_context_get_type)         \
  F(webkit_website_data_manager_get_type) \
  F(webkit_settings_get_type)            \
  F(webkit_web_view_load_uri)            \
  F(webkit_web_view_get_uri)             \
  F(webkit_web_view_get_zoom_level)      \
  F(webkit_web_view_set_zoom_level)      \
  F(webkit_web_view_can_go_back)         \
  F(webkit_web_view_go_back)            \
  F(webkit_download_cancel)

struct WebKitApi {
#define PAGIMOR_WEBKIT_POINTER(name) decltype(&::name) name = nullptr;
  PAGIMOR_WEBKIT_FUNCTIONS(PAGIMOR_WEBKIT_POINTER)
#undef PAGIMOR_WEBKIT_POINTER
  // The library the functions came from.
  const char* library = nullptr;
};

// The libraries tried, in this order.
inline constexpr std::array<const char*, 2> kWebKitLibraries = {"libwebkit2gtk-4.1.so.0", "libwebkit2gtk-4.0.so.37"};

// The first of the libraries that loads and has every function of the
// table; nothing when none does.
[[nodiscard]] std::optional<WebKitApi> LoadWebKit(std::span<const char* const> libraries = kWebKitLibraries);

// What the reader is told when there is no web engine to show the book with.
inline constexpr const char* kNoWebEngineMessage =
    "This book needs WebKitGTK to show its pages, and it is not installed. "
    "On Debian or Ubuntu install the package libwebkit2gtk-4.1-0, on Fedora webkit2gtk4.1. "
    "Closing program.";

}  // namespace pagimor::gtk
