// The book folder on the real file system.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/support.h"
#include "fake_platform.h"
#include "platform/text.h"
#include "vxwebtest/bookfolder.h"

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

struct NameCase {
  std::u16string temp;
  LocalTime time;
  std::u16string expected;
};

class FolderNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FolderNameTest, IsPrefixTimestampAndSuffixWithDoubledSeparatorsCollapsed) {
  EXPECT_EQ(ToUtf8(MakeBookFolderName(GetParam().temp, GetParam().time)), ToUtf8(GetParam().expected));
}

constexpr LocalTime kTime{2026, 12, 8, 5, 52, 41, 250};

INSTANTIATE_TEST_SUITE_P(
    Table, FolderNameTest,
    ::testing::Values(NameCase{u"/tmp/", kTime, u"/tmp/zel20261208055241250VXEbook"},
                      NameCase{u"/tmp/", {2026, 12, 8, 5, 52, 41, 7}, u"/tmp/zel202612080552417VXEbook"},
                      NameCase{u"/tmp/", {999, 1, 2, 0, 0, 0, 0}, u"/tmp/zel09990102000000" u"0VXEbook"},
                      // The system's path may already end in a separator.
                      NameCase{u"/var/tmp//", kTime, u"/var/tmp/zel20261208055241250VXEbook"},
                      NameCase{u"//srv//tmp/", kTime, u"/srv/tmp/zel20261208055241250VXEbook"},
                      // One pass: three become two, four become two.
                      NameCase{u"/a///b////", kTime, u"/a//b//zel20261208055241250VXEbook"},
                      // What the 8-bit encoding cannot hold comes out changed.
                      NameCase{u"/t\xD800/", kTime, u"/t\uFFFD/zel20261208055241250VXEbook"}));

class BookFolderTest : public ::testing::Test {
 protected:
  BookFolderTest() { app_.tempPath = Widen(dir_.path().string() + "/"); }
  ScratchDir dir_;
  FakeApplication app_;
};

TEST_F(BookFolderTest, IsCreatedPrivateInTheTemporaryDirectory) {
  ASSERT_TRUE(CreateBookFolder(app_));
  const stdfs::path folder = ToUtf8(BookFolder);
  EXPECT_EQ(folder, dir_ / "zel20261208055241250VXEbook");
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_EQ(app_.folderAttempts, 1);
}

TEST_F(BookFolderTest, SecondRunInTheSameMillisecondTriesAgainUnderALaterName) {
  stdfs::create_directory(dir_ / "zel20261208055241250VXEbook");
  app_.createDirectory = [&](std::u16string_view path) {
    app_.now.millisecond = 731;  // the clock moves on during the random pause
    return CreatePrivateDirectory(path);
  };
  ASSERT_TRUE(CreateBookFolder(app_));
  EXPECT_EQ(app_.folderAttempts, 2);
  EXPECT_EQ(stdfs::path(ToUtf8(BookFolder)), dir_ / "zel20261208055241731VXEbook");
  EXPECT_TRUE(app_.log.empty() || !app_.log.back().starts_with("lang: "));
}

TEST_F(BookFolderTest, TemporaryDirectoryThatRefusesEveryFolderGivesTwelveAttemptsThenTheMessage) {
  WriteFile(dir_ / "file", "x");
  app_.tempPath = Widen((dir_ / "file").string() + "/");
  const TickCount start = app_.clock;
  EXPECT_FALSE(CreateBookFolder(app_));
  EXPECT_EQ(app_.folderAttempts, 12);
  ASSERT_FALSE(app_.log.empty());
  EXPECT_EQ(app_.log.back(), "lang: " + std::string(kBookFolderError) + "Not a directory");
  EXPECT_TRUE(app_.langArgumentsOk);
  const TickCount elapsed = app_.clock - start;
  EXPECT_GE(elapsed, 12u * 5u * 11u + 11u);
  EXPECT_LE(elapsed, 12u * 5u * 11u + 11u * 1300u);
}

class RemoveBookFolderTest : public ::testing::Test {
 protected:
  RemoveBookFolderTest() : folder_(dir_ / "book") { stdfs::create_directory(folder_); }
  ScratchDir dir_;
  stdfs::path folder_;
};

TEST_F(RemoveBookFolderTest, DeletesTheFilesAndTheFolder) {
  for (const char* name : {"index.html", "a.gif", ".hidden"}) WriteFile(folder_ / name, name);
  EXPECT_TRUE(RemoveBookFolder(folder_.string()));
  EXPECT_FALSE(stdfs::exists(folder_));
}

TEST_F(RemoveBookFolderTest, LeavesASubfolderAloneAndSoTheFolderStays) {
  WriteFile(folder_ / "index.html", "x");
  stdfs::create_directory(folder_ / "sub");
  WriteFile(folder_ / "sub" / "inner", "y");
  EXPECT_FALSE(RemoveBookFolder(folder_.string()));
  EXPECT_FALSE(stdfs::exists(folder_ / "index.html"));
  EXPECT_TRUE(stdfs::exists(folder_ / "sub" / "inner"));
}

TEST_F(RemoveBookFolderTest, RemovesALinkWithoutTouchingWhatItPointsTo) {
  WriteFile(dir_ / "outside", "keep");
  stdfs::create_directory(dir_ / "outdir");
  WriteFile(dir_ / "outdir" / "x", "keep");
  stdfs::create_symlink(dir_ / "outside", folder_ / "link");
  stdfs::create_directory_symlink(dir_ / "outdir", folder_ / "dirlink");
  EXPECT_TRUE(RemoveBookFolder(folder_.string()));
  EXPECT_FALSE(stdfs::exists(folder_));
  EXPECT_EQ(ReadFile(dir_ / "outside"), "keep");
  EXPECT_EQ(ReadFile(dir_ / "outdir" / "x"), "keep");
}

TEST_F(RemoveBookFolderTest, MissingFolderGivesFalse) {
  EXPECT_FALSE(RemoveBookFolder((dir_ / "none").string()));
}

TEST(StartPage, AFolderOfThatNameDoesNotCount) {
  ScratchDir dir;
  stdfs::create_directory(dir / "index.html");
  EXPECT_FALSE(FileExists((dir / "index.html").string()));
  WriteFile(dir / "page.html", "x");
  EXPECT_TRUE(FileExists((dir / "page.html").string()));
}

}  // namespace
}  // namespace pagimor::test
