#include "windows/gtk/webkit.h"

#include <dlfcn.h>

namespace pagimor::gtk {

namespace {

// Looks up every function of the table in an opened library; false when one
// is missing.
bool Resolve(void* library, WebKitApi& api) {
  bool complete = true;
#define PAGIMOR_WEBKIT_RESOLVE(name)                                        \
  api.name = reinterpret_cast<decltype(api.name)>(::dlsym(library, #name)); \
  complete = complete && api.name != nullptr;
  PAGIMOR_WEBKIT_FUNCTIONS(PAGIMOR_WEBKIT_RESOLVE)
#undef PAGIMOR_WEBKIT_RESOLVE
  return complete;
}

}  // namespace

std::optional<WebKitApi> LoadWebKit(std::span<const char* const> libraries) {
  for (const char* name : libraries) {
    void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) continue;
    WebKitApi api;
    if (Resolve(library, api)) {
      api.library = name;
      // Kept loaded for the rest of the run, never closed: the engine
      // registers types with GObject, which cannot be taken back.
      return api;
    }
    ::dlclose(library);
  }
  return std::nullopt;
}

}  // namespace pagimor::gtk
