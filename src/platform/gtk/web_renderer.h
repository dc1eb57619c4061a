#pragma once
// WebKitGTK draws its pages through DMA-BUF buffers by default, and with
// NVIDIA's proprietary driver under X11 that leaves the web view blank: the
// viewer turns that renderer off there, before the web engine starts, as
// other programs that embed WebKitGTK do.

#include <filesystem>

namespace pagimor::gtk {

inline constexpr const char* kDisableDmabufVariable = "WEBKIT_DISABLE_DMABUF_RENDERER";

struct RendererFacts {
  bool x11 = false;           // the display is an X11 one (XWayland counts)
  bool nvidiaDriver = false;  // NVIDIA's proprietary kernel driver is loaded
  bool alreadySet = false;    // the reader has set the variable either way
};

// Whether to set kDisableDmabufVariable to 1. A value the reader set stays.
[[nodiscard]] bool ShouldDisableDmabufRenderer(const RendererFacts& facts);

// Whether the proprietary driver is loaded, as the kernel shows it below
// root: its module, or the version file of its /proc entry. The open-source
// nouveau driver is not it.
[[nodiscard]] bool NvidiaDriverLoaded(const std::filesystem::path& root = "/");

// Decides for this process and sets the variable when needed.
void ChooseWebRenderer(bool x11);

}  // namespace pagimor::gtk
