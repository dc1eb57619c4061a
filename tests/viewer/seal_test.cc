// A book with a digest after its archive is checked whole before its folder
// is made; one without takes the road it always took.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/support.h"
#include "fake_platform.h"
#include "platform/text.h"
#include "vxwebtest/startup.h"

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

const std::string kProgram(3000, 'P');

class SealTest : public ::testing::Test {
 protected:
  SealTest() { stdfs::create_directory(dir_ / "tmp"); }

  // Runs the book on a fresh desktop; the messages it showed.
  std::vector<std::string> Run(const std::string& bytes) {
    WriteFile(dir_ / "book", bytes);
    FakeApplication app;
    app.tempPath = TempPathOf(dir_ / "tmp");
    app.exePath = Widen((dir_ / "book").string());
    FakeForms forms{app};
    EXPECT_EQ(RunBook(app, forms), 0);
    folderAttempts_ = app.folderAttempts;
    std::vector<std::string> messages;
    for (const std::string& line : app.log) {
      if (line.starts_with("plain: ") || line.starts_with("lang: ")) messages.push_back(line);
    }
    return messages;
  }

  ScratchDir dir_;
  int folderAttempts_ = 0;
};

TEST_F(SealTest, ADamagedSealedBookMakesNoFolder) {
  const std::string book = Sealed(Archive(
      "3", {NamedEntry(u"a.gif", SaltedData(1, 5000)), NamedEntry(u"img/b.png", "B"), NamedEntry(u"index.html", "x")},
      kProgram));
  EXPECT_TRUE(Run(book).empty());
  EXPECT_EQ(folderAttempts_, 1);
  // Bytes added after the trailer are not the archive's: the book opens.
  EXPECT_TRUE(Run(book + "appended").empty());

  const std::string corrupt = "lang: " + std::string(kCorruptBookMessage);
  const std::size_t archive = book.find(Header());
  struct Case {
    std::string what;
    std::string bytes;
  };
  std::vector<Case> cases;
  for (const std::size_t at : {archive + 17, archive + 35, archive + 3000, book.size() - 90, book.size() - 30}) {
    std::string changed = book;
    changed[at] = static_cast<char>(changed[at] ^ 0x20);
    cases.push_back({"byte " + std::to_string(at) + " changed", changed});
  }
  cases.push_back({"trailer cut short", book.substr(0, book.size() - 10)});
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.bytes), std::vector<std::string>{corrupt}) << c.what;
    EXPECT_EQ(folderAttempts_, 0) << c.what;
    EXPECT_TRUE(stdfs::is_empty(dir_ / "tmp")) << c.what;
  }
}

// Without a trailer, a damaged book gives the messages it always gave.
TEST_F(SealTest, AnUnsealedBookTakesTheUsualRoad) {
  const std::string book = Archive("2", {NamedEntry(u"a.gif", "A"), NamedEntry(u"index.html", "x")}, kProgram);
  EXPECT_TRUE(Run(book).empty());
  std::string badName = book;
  badName[book.find(Hex(u"index.html")) + 2] = 'X';
  EXPECT_EQ(Run(badName), std::vector<std::string>{"lang: " + std::string(kBadNameMessage)});
  EXPECT_EQ(folderAttempts_, 1);
  // Bytes after the marker that are not a whole trailer's prefix are no trailer.
  EXPECT_TRUE(Run(book + "PAGIMOR-SHA").empty());
}

}  // namespace
}  // namespace pagimor::test
