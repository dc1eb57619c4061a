// What the packer reads of pages and where it looks for viewers, without
// running it.
#include <gtest/gtest.h>

#include <filesystem>

#include "pages.h"
#include "support.h"
#include "viewers.h"

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;
using pack::System;

TEST(PagesTest, ModernModeIsTheMetaLineInTheHead) {
  struct Case {
    const char* what;
    std::string page;
    bool lacks;
  };
  const std::string meta = R"(<meta http-equiv="X-UA-Compatible" content="IE=edge">)";
  const Case cases[] = {
      {"the line first in the head", "<!DOCTYPE html><html><head>" + meta + "<title>x</title></head>", false},
      {"after other lines", "<html><head><meta charset=utf-8><title>x</title>" + meta + "</head><body>", false},
      {"letter case, quotes, order", "<HEAD><META CONTENT='ie=Edge' HTTP-EQUIV=x-ua-compatible /></HEAD>", false},
      {"more in content", R"(<head><meta http-equiv="X-UA-Compatible" content="IE=edge,chrome=1"></head>)", false},
      {"no head at all, before the body", meta + "<p>hi</p>", false},
      {"no line", "<html><head><title>x</title></head><body></body></html>", true},
      {"an empty page", "", true},
      {"in the body only", "<html><head></head><body>" + meta + "</body>", true},
      {"after the body begins", "<html><body>" + meta, true},
      {"commented out", "<head><!-- " + meta + " --></head>", true},
      {"another mode", R"(<head><meta http-equiv="X-UA-Compatible" content="IE=7"></head>)", true},
      {"another header", R"(<head><meta http-equiv="Content-Type" content="IE=edge"></head>)", true},
      {"a tag that only begins like meta", R"(<head><metadata http-equiv="X-UA-Compatible" content="IE=edge">)",
       true},
      {"cut off inside the tag", R"(<head><meta http-equiv="X-UA-Compatible" content="IE=ed)", true},
  };
  for (const Case& c : cases) EXPECT_EQ(pack::LacksModernMode(c.page), c.lacks) << c.what;
  EXPECT_TRUE(pack::IsHtmlPage("index.html"));
  EXPECT_TRUE(pack::IsHtmlPage("Seite.HTM"));
  EXPECT_FALSE(pack::IsHtmlPage("style.css"));
  EXPECT_FALSE(pack::IsHtmlPage("html"));
}

TEST(PagesTest, IndexInAnotherLetterCaseIsNamed) {
  EXPECT_NE(pack::IndexLetterCaseHint({u"a.png", u"Index.html"}).find("it has Index.html"), std::string::npos);
  EXPECT_NE(pack::IndexLetterCaseHint({u"INDEX.HTML"}).find("rename it to index.html"), std::string::npos);
  EXPECT_EQ(pack::IndexLetterCaseHint({u"index.htm", u"Index.html5"}), "");
}

// Installed (bin/ beside lib/pagimor/), the Windows download (side by
// side), and build folders (the other system's build beside this one).
TEST(ViewerPlacesTest, InstalledThenBesideThenTheBuildFolders) {
  ScratchDir dir;
  stdfs::create_directories(dir / "usr" / "bin");
  stdfs::create_directories(dir / "build" / "release");
  WriteFile(dir / "build" / "release" / "CMakeCache.txt", "");
  const stdfs::path bin = dir / "usr" / "bin";
  const stdfs::path release = dir / "build" / "release";
  const stdfs::path win64 = dir / "build" / "win64";
  stdfs::create_directories(win64);
  WriteFile(win64 / "CMakeCache.txt", "");
  struct Case {
    stdfs::path folder;
    System system;
    std::vector<stdfs::path> places;
  };
  const Case cases[] = {
      {bin, System::Linux, {dir / "usr" / "lib" / "pagimor" / "pagimor", bin / "pagimor"}},
      {bin, System::Windows, {dir / "usr" / "lib" / "pagimor" / "pagimor.exe", bin / "pagimor.exe"}},
      {release, System::Linux, {dir / "build" / "lib" / "pagimor" / "pagimor", release / "pagimor",
                                dir / "build" / "default" / "pagimor"}},
      {release, System::Windows, {dir / "build" / "lib" / "pagimor" / "pagimor.exe", release / "pagimor.exe",
                                  win64 / "pagimor.exe", dir / "build" / "win64-release" / "pagimor.exe"}},
      {win64, System::Windows, {dir / "build" / "lib" / "pagimor" / "pagimor.exe", win64 / "pagimor.exe",
                                dir / "build" / "win64-release" / "pagimor.exe"}},
      {win64, System::Linux, {dir / "build" / "lib" / "pagimor" / "pagimor", win64 / "pagimor", release / "pagimor",
                              dir / "build" / "default" / "pagimor"}},
  };
  for (const Case& c : cases) {
    std::vector<stdfs::path> expected;
    for (const stdfs::path& p : c.places) expected.push_back(p.lexically_normal());
    EXPECT_EQ(pack::ViewerPlaces(c.folder, c.system), expected)
        << c.folder.string() << " " << pack::SystemName(c.system);
  }
  EXPECT_EQ(pack::ParseSystem("Windows"), System::Windows);
  EXPECT_EQ(pack::ParseSystem("linux"), System::Linux);
  EXPECT_EQ(pack::ParseSystem("mac"), std::nullopt);
}

}  // namespace
}  // namespace pagimor::test
