#include "platform/gtk/web_renderer.h"

#include <cstdlib>
#include <system_error>

namespace pagimor::gtk {

bool ShouldDisableDmabufRenderer(const RendererFacts& facts) {
  return facts.x11 && facts.nvidiaDriver && !facts.alreadySet;
}

bool NvidiaDriverLoaded(const std::filesystem::path& root) {
  std::error_code error;
  return std::filesystem::is_directory(root / "sys/module/nvidia", error) ||
         std::filesystem::exists(root / "proc/driver/nvidia/version", error);
}

void ChooseWebRenderer(bool x11) {
  const RendererFacts facts{.x11 = x11,
                            .nvidiaDriver = NvidiaDriverLoaded(),
                            .alreadySet = std::getenv(kDisableDmabufVariable) != nullptr};
  // Before any other thread runs: the web engine's start reads it later.
  if (ShouldDisableDmabufRenderer(facts)) ::setenv(kDisableDmabufVariable, "1", 0);
}

}  // namespace pagimor::gtk
