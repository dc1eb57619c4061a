// Books whose entries are paths: the run makes their folders inside the
// book folder, refuses every path that could leave it, and removes the tree
// at the end, on the fake desktop with real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "book_run.h"
#include "vxwebtest/startup.h"

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

const std::string kProgram(3000, 'P');

class TreeTest : public BookRunTest {
 protected:
  // Everything under dir_, which holds nothing but the book and tmp.
  [[nodiscard]] std::vector<std::string> Beside() const {
    std::vector<std::string> names;
    for (const auto& entry : stdfs::directory_iterator(dir_.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(TreeTest, PathsBecomeFoldersInsideTheBookFolderAndGoWithIt) {
  const std::vector<Entry> entries = {
      NamedEntry(u"img/arrow1.gif", SaltedData(1, 3000)),   NamedEntry(u"css/site.css", "body{}"),
      NamedEntry(u"img/deep/er/b.png", SaltedData(2, 100)), NamedEntry(u"媒体/音.mp3", SaltedData(3, 2000)),
      NamedEntry(u"index.html", "<img src=img/arrow1.gif>"), NamedEntry(u"img/empty.txt", ""),
  };
  WriteFile(dir_ / "book", Archive("6", entries, kProgram));
  app_.onLoop = [&] {
    const auto folders = Folders();
    ASSERT_EQ(folders.size(), 1u);
    for (const Entry& entry : entries) {
      const std::u16string name = *DecodeHexUnits(entry.hexName);
      EXPECT_EQ(ReadFile(folders[0] / stdfs::path(name)), entry.data) << ToUtf8(name);
    }
#if !defined(_WIN32)  // Windows keeps access rules, passed on from the book folder
    for (const char* sub : {"img", "img/deep", "img/deep/er", "css"}) {
      EXPECT_EQ(stdfs::status(folders[0] / sub).permissions() & stdfs::perms::all, stdfs::perms::owner_all) << sub;
    }
#endif
    forms_.form1->Close();
  };
  EXPECT_EQ(RunBook(app_, forms_), 0);
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  EXPECT_NE(std::find(app_.log.begin(), app_.log.end(), "ProgBar1.Position=6"), app_.log.end());
  EXPECT_TRUE(Folders().empty());
}

// Every form of a path that could leave the folder, mean a device or not
// be a file name on one of the systems: the name message, the folder gone,
// nothing written beside it.
TEST_F(TreeTest, EveryHostilePathIsRefusedWithTheNameMessage) {
  const std::u16string hostile[] = {
      u"/evil",      u"evil/",         u"a//evil",  u"./evil",   u"a/./evil",   u"a/../../evil", u"../evil",
      u"a/..",       u"a\\..\\evil",   u"a/b\\c",   u"img/CON",  u"con/a.png",  u"img/nul.txt",  u"img/lpt1",
      u"img./a",     u"img /a",        u"img/a.",   u"img/a ",   u"img/a:b",    u"C:/evil",      u"img/a*b",
      u"img/" + std::u16string(128, u'\u00E9'),  u"a/" + std::u16string(254, u'n'),
  };
  for (const std::u16string& name : hostile) {
    app_.log.clear();
    WriteFile(dir_ / "book",
              Archive("3", {NamedEntry(u"a.gif", "A"), NamedEntry(name, "evil"), NamedEntry(u"index.html", "x")},
                      kProgram));
    EXPECT_EQ(RunBook(app_, forms_), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"lang: " + std::string(kBadNameMessage)}) << ToUtf8(name);
    EXPECT_TRUE(Folders().empty()) << ToUtf8(name);
    EXPECT_EQ(Beside(), (std::vector<std::string>{"book", "tmp"})) << ToUtf8(name);
  }
}

// A link put where a folder of the book will be made, as soon as the book
// folder exists: the entry is not written through it, the run ends with the
// disk message, and the link goes without what it points to.
TEST_F(TreeTest, ALinkPlantedInTheBookFolderDoesNotRedirectAWrite) {
  stdfs::create_directory(dir_ / "outside");
  WriteFile(dir_ / "outside" / "keep", "keep");
  std::error_code linkError;
  app_.createDirectory = [&](std::u16string_view path) {
    const fs::ErrorCode error = fs::CreatePrivateFolder(path);
    if (error == 0) stdfs::create_directory_symlink(dir_ / "outside", stdfs::path(std::u16string(path)) / "img", linkError);
    return error;
  };
  WriteFile(dir_ / "book", Archive("3", {NamedEntry(u"a.gif", "A"), NamedEntry(u"img/b.gif", "evil"),
                                         NamedEntry(u"index.html", "x")},
                                   kProgram));
  EXPECT_EQ(RunBook(app_, forms_), 0);
  if (linkError) GTEST_SKIP() << "this user may not make links: " << linkError.message();
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with("plain: Error writing to disk. Error number: ")) << messages[0];
  EXPECT_TRUE(Folders().empty());
  std::vector<std::string> outside;
  for (const auto& entry : stdfs::directory_iterator(dir_ / "outside")) outside.push_back(entry.path().filename().string());
  EXPECT_EQ(outside, std::vector<std::string>{"keep"});
}

}  // namespace
}  // namespace pagimor::test
