// The book folder on the real file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#if defined(_WIN32)
#include "platform/win32/winapi.h"
// After windows.h.
#include <aclapi.h>

#include "platform/win32/handles.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// The cases are written with '/'; they hold for the platform's separator.
std::u16string Native(std::u16string path) {
  std::replace(path.begin(), path.end(), u'/', fs::kSeparator);
  return path;
}

TEST_P(FolderNameTest, IsPrefixTimestampAndSuffixWithDoubledSeparatorsCollapsed) {
  EXPECT_EQ(ToUtf8(MakeBookFolderName(Native(GetParam().temp), GetParam().time)),
            ToUtf8(Native(GetParam().expected)));
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
  BookFolderTest() { app_.tempPath = TempPathOf(dir_.path()); }
  ScratchDir dir_;
  FakeApplication app_;
  fs::Folder hold_;
};

TEST_F(BookFolderTest, IsCreatedPrivateInTheTemporaryDirectory) {
  ASSERT_TRUE(CreateBookFolder(app_, hold_));
  const stdfs::path folder = ToUtf8(BookFolder);
  EXPECT_EQ(folder, dir_ / "zel20261208055241250VXEbook");
  EXPECT_TRUE(stdfs::is_directory(folder));
#if defined(_WIN32)
  // Its own rules, not the temporary directory's: nobody but this user (and
  // the system itself) may enter.
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(folder.wstring().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &acl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const win32::LocalMemory<void> owned(descriptor);
  ASSERT_NE(acl, nullptr);
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  const win32::UniqueHandle ownedToken(token);
  alignas(TOKEN_USER) std::uint8_t user[256];
  DWORD size = 0;
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  PSID me = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  alignas(SID) std::uint8_t system[SECURITY_MAX_SID_SIZE];
  size = sizeof system;
  ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  ASSERT_GT(acl->AceCount, 0);
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(acl, i, &ace));
    ASSERT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID who = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    EXPECT_TRUE(::EqualSid(who, me) || ::EqualSid(who, system)) << "entry " << i;
  }
#else
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
#endif
  EXPECT_EQ(app_.folderAttempts, 1);
}

TEST_F(BookFolderTest, SecondRunInTheSameMillisecondTriesAgainUnderALaterName) {
  stdfs::create_directory(dir_ / "zel20261208055241250VXEbook");
  app_.createDirectory = [&](std::u16string_view path) {
    app_.now.millisecond = 731;  // the clock moves on during the random pause
    return fs::CreatePrivateFolder(path);
  };
  ASSERT_TRUE(CreateBookFolder(app_, hold_));
  EXPECT_EQ(app_.folderAttempts, 2);
  EXPECT_EQ(stdfs::path(ToUtf8(BookFolder)), dir_ / "zel20261208055241731VXEbook");
  EXPECT_TRUE(app_.log.empty() || !app_.log.back().starts_with("lang: "));
}

TEST_F(BookFolderTest, TemporaryDirectoryThatRefusesEveryFolderGivesTwelveAttemptsThenTheMessage) {
  WriteFile(dir_ / "file", "x");
  app_.tempPath = TempPathOf(dir_ / "file");
  const TickCount start = app_.clock;
  EXPECT_FALSE(CreateBookFolder(app_, hold_));
  EXPECT_EQ(app_.folderAttempts, 12);
  ASSERT_FALSE(app_.log.empty());
  EXPECT_EQ(app_.log.back(), "lang: " + FolderMessageFor(dir_ / "file", fs::ErrorText(kUnderAFile)));
  EXPECT_TRUE(app_.langArgumentsOk);
  const TickCount elapsed = app_.clock - start;
  EXPECT_GE(elapsed, 12u * 5u * 11u + 11u);
  EXPECT_LE(elapsed, 12u * 5u * 11u + 11u * 1300u);
}

// A sweeping run may take a folder just made for abandoned before its run
// has locked it; the run must not go on with a folder about to go.
TEST_F(BookFolderTest, AFolderSomeoneElseLockedFirstIsGivenUpForANewOne) {
  fs::Folder sweeper;
  app_.createDirectory = [&](std::u16string_view path) {
    const fs::ErrorCode error = fs::CreatePrivateFolder(path);
    if (app_.folderAttempts == 1) {
      EXPECT_TRUE(sweeper.Open(path) && sweeper.TryLock());
      app_.now.millisecond = 731;
    }
    return error;
  };
  ASSERT_TRUE(CreateBookFolder(app_, hold_));
  EXPECT_EQ(app_.folderAttempts, 2);
  EXPECT_EQ(stdfs::path(ToUtf8(BookFolder)), dir_ / "zel20261208055241731VXEbook");
  // The run holds its folder: nobody else takes the lock now.
  fs::Folder other;
  ASSERT_TRUE(other.Open(BookFolder));
  EXPECT_FALSE(other.TryLock());
}

TEST(FolderLock, IsHeldByOneAtATimeAndOnlyForTheFolderStillUnderItsName) {
  ScratchDir dir;
  const std::u16string path = (dir / "f").u16string();
  ASSERT_EQ(fs::CreatePrivateFolder(path), 0);
  fs::Folder first;
  fs::Folder second;
  ASSERT_TRUE(first.Open(path) && first.TryLock());
  ASSERT_TRUE(second.Open(path));
  EXPECT_FALSE(second.TryLock());
  // Held, the folder can still be listed by anyone, and its files made and
  // removed; on Windows the folder itself can be neither removed nor renamed.
  WriteFile(dir / "f" / "page.html", "x");
  std::vector<std::string> listed;
  for (const auto& entry : stdfs::directory_iterator(dir / "f")) listed.push_back(entry.path().filename().string());
  EXPECT_EQ(listed, std::vector<std::string>{"page.html"});
  EXPECT_EQ(second.Entries().size(), 1u);
  EXPECT_EQ(fs::RemoveFile((dir / "f" / "page.html").u16string()), 0);
#if defined(_WIN32)
  EXPECT_EQ(fs::RemoveEmptyFolder(path), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(fs::RenameFile(path, (dir / "g").u16string()), ERROR_SHARING_VIOLATION);
#endif
  first.Close();
  EXPECT_TRUE(second.TryLock());
  second.Close();
  // Removed and made again after it was opened: the lock would guard nothing.
  ASSERT_TRUE(first.Open(path));
  ASSERT_EQ(fs::RemoveEmptyFolder(path), 0);
  // Windows keeps the name taken while a handle is open: the new folder may
  // not be made; the lock must fail either way.
  const fs::ErrorCode remade = fs::CreatePrivateFolder(path);
#if defined(_WIN32)
  // Wine keeps a removed folder's name until its last handle goes: then no
  // other folder can stand under it, and there is nothing to tell apart.
  if (remade != 0) return;
#endif
  ASSERT_EQ(remade, 0);
  EXPECT_FALSE(first.TryLock());
}

// What a run finds in the temporary directory at its start: only folders
// that a killed run of this user left, unlocked, go.
TEST(Sweep, RemovesOnlyAbandonedBookFoldersOfThisUser) {
  ScratchDir dir;
  stdfs::create_directory(dir / "tmp");
  const stdfs::path tmp = dir / "tmp";
  FakeApplication app;
  app.tempPath = TempPathOf(tmp);
  const std::vector<std::string> abandoned = {"zel20260101120000123VXEbook", "zel202601011200001VXEbook",
                                              "zel2026010112000099VXEbook"};
  std::vector<std::string> wrongNames = {"zel2026010112000VXEbook", "zel202601011200001234VXEbook",
                                         "zel2026010112000x123VXEbook", "zel20260101120000123VXEbook.old"};
#if !defined(_WIN32)
  // Names that differ only in case are one name on Windows.
  wrongNames.insert(wrongNames.end(), {"Zel20260101120000123VXEbook", "zel20260101120000123vxebook"});
#endif
  for (const std::string& name : abandoned) {
    stdfs::create_directory(tmp / name);
    WriteFile(tmp / name / "index.html", "old");
    // A tree book's folders go with it.
    stdfs::create_directories(tmp / name / "img" / "deep");
    WriteFile(tmp / name / "img" / "deep" / "a.gif", "old");
  }
  for (const std::string& name : wrongNames) {
    stdfs::create_directory(tmp / name);
    WriteFile(tmp / name / "keep", "x");
  }
  // A live run's folder, its lock held.
  const std::string live = "zel20260101120000456VXEbook";
  stdfs::create_directory(tmp / live);
  WriteFile(tmp / live / "index.html", "live");
  fs::Folder liveHold;
  ASSERT_TRUE(liveHold.Open((tmp / live).u16string()) && liveHold.TryLock());
  // A link under a book folder's name, and a file under one.
  stdfs::create_directory(dir / "elsewhere");
  WriteFile(dir / "elsewhere" / "precious", "keep");
  const std::string file = "zel20260101120000790VXEbook";
  WriteFile(tmp / file, "x");
  std::vector<std::string> expected = wrongNames;
  expected.insert(expected.end(), {live, file});
  // Windows lets only some users make links.
  const std::string link = "zel20260101120000789VXEbook";
  std::error_code linkError;
  stdfs::create_directory_symlink(dir / "elsewhere", tmp / link, linkError);
  if (!linkError) expected.push_back(link);
#if !defined(_WIN32)
  // Another user's folder is theirs, even to root.
  const std::string foreign = "zel20260101120000791VXEbook";
  if (::geteuid() == 0) {
    stdfs::create_directory(tmp / foreign);
    ASSERT_EQ(::chown((tmp / foreign).c_str(), 65534, 65534), 0);
    expected.push_back(foreign);
  }
#endif

  SweepAbandonedBookFolders(app);

  std::vector<std::string> left;
  for (const auto& entry : stdfs::directory_iterator(tmp)) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
  EXPECT_EQ(ReadFile(tmp / live / "index.html"), "live");
  EXPECT_EQ(ReadFile(dir / "elsewhere" / "precious"), "keep");
  for (const std::string& name : wrongNames) EXPECT_TRUE(stdfs::exists(tmp / name / "keep")) << name;
}

class RemoveBookFolderTest : public ::testing::Test {
 protected:
  RemoveBookFolderTest() : folder_(dir_ / "book") { stdfs::create_directory(folder_); }
  ScratchDir dir_;
  stdfs::path folder_;
};

TEST_F(RemoveBookFolderTest, DeletesTheFilesAndTheFolder) {
  for (const char* name : {"index.html", "a.gif", ".hidden"}) WriteFile(folder_ / name, name);
  // A name no 8-bit code page holds, and a file made read-only, go too.
  WriteFile(folder_ / stdfs::path(u"\u0416\u2713\U0001F4D6.html"), "x");
  WriteFile(folder_ / "locked.css", "x");
  stdfs::permissions(folder_ / "locked.css", stdfs::perms::owner_read);
  EXPECT_TRUE(RemoveBookFolder(folder_.string()));
  EXPECT_FALSE(stdfs::exists(folder_));
}

TEST_F(RemoveBookFolderTest, RemovesATreeAndOnlyTheLinksInIt) {
  WriteFile(folder_ / "index.html", "x");
  stdfs::create_directories(folder_ / "img" / "deep" / "deeper");
  WriteFile(folder_ / "img" / "a.gif", "y");
  WriteFile(folder_ / "img" / "deep" / "deeper" / "b.gif", "z");
  stdfs::create_directory(folder_ / "empty");
  stdfs::create_directory(dir_ / "outdir");
  WriteFile(dir_ / "outdir" / "x", "keep");
  std::error_code linkError;
  stdfs::create_directory_symlink(dir_ / "outdir", folder_ / "img" / "deep" / "link", linkError);
  EXPECT_TRUE(RemoveBookFolder(folder_.string()));
  EXPECT_FALSE(stdfs::exists(folder_));
  EXPECT_EQ(ReadFile(dir_ / "outdir" / "x"), "keep");
}

TEST_F(RemoveBookFolderTest, RemovesALinkWithoutTouchingWhatItPointsTo) {
  WriteFile(dir_ / "outside", "keep");
  stdfs::create_directory(dir_ / "outdir");
  WriteFile(dir_ / "outdir" / "x", "keep");
  std::error_code linkError;
  stdfs::create_symlink(dir_ / "outside", folder_ / "link", linkError);
  if (!linkError) stdfs::create_directory_symlink(dir_ / "outdir", folder_ / "dirlink", linkError);
  if (linkError) GTEST_SKIP() << "this user may not make links: " << linkError.message();
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
