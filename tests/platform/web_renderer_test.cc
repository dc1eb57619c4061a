// When the viewer turns WebKit's DMA-BUF renderer off.
#include "platform/gtk/web_renderer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "archive/support.h"

namespace pagimor::gtk {
namespace {

TEST(WebRendererTest, OffOnlyForTheProprietaryDriverUnderX11UnlessTheReaderChose) {
  struct Case {
    RendererFacts facts;
    bool off;
  };
  const Case cases[] = {
      {{.x11 = true, .nvidiaDriver = true, .alreadySet = false}, true},
      {{.x11 = true, .nvidiaDriver = true, .alreadySet = true}, false},
      {{.x11 = true, .nvidiaDriver = false, .alreadySet = false}, false},
      {{.x11 = false, .nvidiaDriver = true, .alreadySet = false}, false},
      {{.x11 = false, .nvidiaDriver = false, .alreadySet = true}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShouldDisableDmabufRenderer(c.facts), c.off)
        << "x11 " << c.facts.x11 << ", driver " << c.facts.nvidiaDriver << ", set " << c.facts.alreadySet;
  }
}

// The driver as the kernel shows it, in a small tree standing for the root.
TEST(WebRendererTest, TheProprietaryDriverIsSeenByItsModuleOrItsVersionFile) {
  struct Case {
    const char* name;
    std::vector<std::string> folders;
    std::vector<std::string> files;
    bool loaded;
  };
  const Case cases[] = {
      {"module", {"sys/module/nvidia"}, {}, true},
      {"proc entry", {"proc/driver/nvidia"}, {"proc/driver/nvidia/version"}, true},
      {"nothing", {"sys/module/i915", "proc/driver"}, {}, false},
      {"nouveau", {"sys/module/nouveau"}, {}, false},
      {"proc folder without its version", {"proc/driver/nvidia"}, {}, false},
      {"a file named like the module", {"sys/module"}, {"sys/module/nvidia"}, false},
  };
  for (const Case& c : cases) {
    const test::ScratchDir root;
    for (const std::string& folder : c.folders) std::filesystem::create_directories(root / folder);
    for (const std::string& file : c.files) std::ofstream(root / file) << "NVRM version: 550\n";
    EXPECT_EQ(NvidiaDriverLoaded(root.path()), c.loaded) << c.name;
  }
}

}  // namespace
}  // namespace pagimor::gtk
