// The whole run on the fake desktop, with real archives in real files and
// the book folder on the real file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "book_run.h"
#include "vxwebtest/bookfolder.h"
#include "vxwebtest/startup.h"
#include "vxwebtest/version.h"

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

// A stand-in for the viewer's own part of the file: no marker in it.
const std::string kProgram(5000, 'P');

class SequenceTest : public BookRunTest {
 protected:
  void WriteBook(const std::string& bytes) { WriteFile(dir_ / "book", bytes); }

  int Run() { return RunBook(app_, forms_); }

  // Position of the first log line equal to line, or -1.
  [[nodiscard]] std::ptrdiff_t At(const std::string& line) const {
    const auto found = std::find(app_.log.begin(), app_.log.end(), line);
    return found == app_.log.end() ? -1 : found - app_.log.begin();
  }
};

std::vector<Entry> SixteenFiles() {
  std::vector<Entry> entries;
  for (int i = 0; i < 15; ++i) {
    entries.push_back(NamedEntry(u"file" + Widen(std::to_string(i)) + u".gif",
                                 SaltedData(static_cast<std::uint32_t>(i), static_cast<std::size_t>(i) * 700)));
  }
  entries.push_back(NamedEntry(u"index.html", "<html><body>Quiz</body></html>"));
  return entries;
}

TEST_F(SequenceTest, NormalRunShowsTheBookAndRemovesItsFolderAtTheEnd) {
  const std::vector<Entry> entries = SixteenFiles();
  WriteBook(Archive("16", entries, kProgram));
  std::string startPage;
  app_.onLoop = [&] {
    // While the book is shown, every file stands in the folder as packed.
    const auto folders = Folders();
    ASSERT_EQ(folders.size(), 1u);
    for (int i = 0; i < 15; ++i) {
      EXPECT_EQ(ReadFile(folders[0] / ("file" + std::to_string(i) + ".gif")),
                entries[static_cast<std::size_t>(i)].data);
    }
    EXPECT_EQ(ReadFile(folders[0] / "index.html"), entries[15].data);
#if !defined(_WIN32)  // Windows keeps access rules, which folder_test looks at
    EXPECT_EQ(stdfs::status(folders[0]).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
#endif
    startPage = (folders[0] / "index.html").string();
    forms_.form1->Close();
  };

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(Messages().empty()) << app_.log.back();
  EXPECT_EQ(app_.Title(), "EBook");
  const std::vector<std::string> expected = {
      "Initialize",
      "VersionInfo",
      "Form2.Create main",
      "Form2.Show",
      "ProgBar1.Min=0",
      "lblStatus=Loading Pagimor... Please wait...",
      "lblVersion=Version 1.11",
  };
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(app_.log.at(i), expected[i]);
  ASSERT_TRUE(app_.log.at(expected.size()).starts_with("MakeDirectory "));
  std::vector<std::string> rest(app_.log.begin() + static_cast<std::ptrdiff_t>(expected.size()) + 1,
                                app_.log.end());
  std::vector<std::string> expectedRest = {"ProgBar1.Max=16"};
  for (int i = 1; i <= 16; ++i) expectedRest.push_back("ProgBar1.Position=" + std::to_string(i));
  expectedRest.insert(expectedRest.end(),
                      {"Form2.Hide", "Form2.Destroy", "Form1.Create main", "WebBrowser1.Navigate about:EBook",
                       "WebBrowser1.Navigate " + startPage, "RunMessageLoop", "WebBrowser1.Navigate about:blank",
                       "QuitMessageLoop", "Form1.Destroy"});
  EXPECT_EQ(rest, expectedRest);
  EXPECT_TRUE(Folders().empty());
}

TEST_F(SequenceTest, RunRemovesAKilledRunsFolderAndHoldsItsOwnAgainstOthers) {
  // What a run killed outright leaves: its folder, with no lock on it.
  const stdfs::path stale = dir_ / "tmp" / "zel20260101120000123VXEbook";
  stdfs::create_directory(stale);
  WriteFile(stale / "index.html", "old");
  WriteBook(Archive("1", {NamedEntry(u"index.html", "x")}, kProgram));
  app_.onLoop = [&] {
    EXPECT_FALSE(stdfs::exists(stale));
    const auto folders = Folders();
    ASSERT_EQ(folders.size(), 1u);
    // Another run starting now leaves this one's folder alone.
    FakeApplication other;
    other.tempPath = app_.tempPath;
    SweepAbandonedBookFolders(other);
    EXPECT_EQ(ReadFile(folders[0] / "index.html"), "x");
    forms_.form1->Close();
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(Folders().empty());
}

TEST_F(SequenceTest, OneEntryRunsUpToTheEndOfArchiveMarker) {
  WriteBook(Archive("1", {NamedEntry(u"index.html", "<p>only<")}, kProgram));
  app_.onLoop = [&] {
    EXPECT_EQ(ReadFile(Folders().at(0) / "index.html"), "<p>only<");
    forms_.form1->Close();
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_NE(At("ProgBar1.Max=1"), -1);
  EXPECT_NE(At("ProgBar1.Position=1"), -1);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Folders().empty());
}

TEST_F(SequenceTest, PacingGivesTheLoadingWindowTwoSecondsBeforeTheFirstFolderAttempt) {
  WriteBook(Archive("1", {NamedEntry(u"index.html", "x")}, kProgram));
  // Start just short of the counter's wrap: the pauses must not mind.
  const TickCount start = 0xFFFFFC00u;
  app_.clock = start;
  EXPECT_EQ(Run(), 0);
  ASSERT_TRUE(app_.firstFolderAttempt.has_value());
  // Ten pauses of 100 and one of 1000, each a millisecond longer, then the
  // folder's own five pauses of 10.
  EXPECT_EQ(static_cast<TickCount>(*app_.firstFolderAttempt - start), 2011u + 55u);
}

struct Failure {
  const char* name;
  std::string book;  // empty: no file at all
  std::string message;
  bool loadingWindowBehindMessage;
  // The book folder's files while the message is on screen.
  std::vector<std::string> filesAtMessage;
  bool folderMade;
  std::optional<OsVersionInfo> version = OsVersionInfo{2, 10, 0, ""};
  bool noExePath = false;
  std::string folderInTheWay = {};  // made in the book folder as soon as it exists
};


void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

std::vector<Failure> Failures() {
  const std::string badHex = "0069006E0064006X";
  const std::u16string tooLong(200, u'\u00e9');  // 400 bytes in UTF-8: more than Linux allows in a name
  return {
      {"RefusedSystem", Archive("1", {NamedEntry(u"index.html", "x")}, kProgram),
       "lang: " + std::string(kUnsupportedSystemMessage), false, {}, false, OsVersionInfo{1, 4, 10, " A "}},
      {"VersionQueryFails", Archive("1", {NamedEntry(u"index.html", "x")}, kProgram),
       "lang: " + std::string(kUnsupportedSystemMessage), false, {}, false, std::nullopt},
      {"NoOwnPath", "", "plain: Error getting file name.", false, {}, false, OsVersionInfo{2, 5, 1, ""}, true},
      {"NoArchive", kProgram, "lang: This ZEL-Software EBook seems to be corrupt. Closing program.", false, {},
       false},
      {"CountZero", Archive("0", {NamedEntry(u"index.html", "x")}, kProgram),
       "lang: This ZEL-Software EBook seems to be corrupt. Closing program.", true, {}, true},
      {"CountNotANumber", Archive("1x", {NamedEntry(u"index.html", "x")}, kProgram),
       "lang: This ZEL-Software EBook seems to be corrupt. Closing program.", true, {}, true},
      {"FirstNameUndecodable", Archive("2", {Entry{badHex, "a"}, NamedEntry(u"index.html", "x")}, kProgram),
       "lang: " + std::string(kBadNameMessage), true, {}, true},
      {"LaterNameUndecodable",
       Archive("3", {NamedEntry(u"a.gif", "A"), Entry{badHex, "b"}, NamedEntry(u"index.html", "x")}, kProgram),
       "lang: " + std::string(kBadNameMessage), true, {"a.gif"}, true},
      {"NameLeavesTheFolder", Archive("2", {NamedEntry(u"a.gif", "A"), NamedEntry(u"../evil", "x")}, kProgram),
       "lang: " + std::string(kBadNameMessage), true, {"a.gif"}, true},
      {"OnlyEntryUnclosed", kProgram + Header() + "1" + EntryMarker() + Hex(u"index.html") + NameCloser() + "x",
       "plain: Error extracting files!! Closing program.", true, {}, true},
      {"LastEntryUnclosed",
       kProgram + Header() + "2" + EntryMarker() + Hex(u"a.gif") + NameCloser() + "A" + Terminator() +
           EntryMarker() + Hex(u"index.html") + NameCloser() + "x",
       "plain: Error extracting files!! Closing program.", true, {"a.gif"}, true},
      {"NameTooLongForTheSystem",
       Archive("3", {NamedEntry(u"a.gif", "A"), NamedEntry(tooLong, "b"), NamedEntry(u"index.html", "x")},
               kProgram),
       "lang: " + std::string(kBadNameMessage), true, {"a.gif"}, true},
      {"DestinationCannotBeCreated",
       Archive("3", {NamedEntry(u"a.gif", "A"), NamedEntry(u"b.gif", "b"), NamedEntry(u"index.html", "x")},
               kProgram),
       "plain: Error writing to disk. Error number: ", true, {"a.gif", "b.gif"}, true, OsVersionInfo{2, 10, 0, ""},
       false, "b.gif"},
      {"NoStartPage", Archive("2", {NamedEntry(u"a.gif", "A"), NamedEntry(u"b.gif", "B")}, kProgram),
       "lang: " + std::string(kIndexMissingMessage), false, {"a.gif", "b.gif"}, true},
  };
}

class SequenceFailureTest : public SequenceTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(SequenceFailureTest, ShowsOneMessageThenRemovesTheFolder) {
  const Failure& failure = GetParam();
  if (!failure.book.empty()) WriteBook(failure.book);
  app_.version = failure.version;
  if (failure.noExePath) app_.exePath.reset();
  std::vector<stdfs::path> foldersAtMessage;
  std::vector<std::string> filesAtMessage;
  app_.onMessage = [&] {
    foldersAtMessage = Folders();
    if (foldersAtMessage.size() != 1) return;
    // Listed as the program lists it: on Windows the run's lock keeps out
    // whoever opens the folder without sharing its deletion.
    fs::Folder held;
    EXPECT_TRUE(held.Open(foldersAtMessage[0].u16string()));
    for (const fs::FolderEntry& entry : held.Entries()) filesAtMessage.push_back(ToUtf8(entry.name));
    std::sort(filesAtMessage.begin(), filesAtMessage.end());
    // The removal never enters subfolders: take the obstacle away again so
    // that what is judged is the run's own cleaning up.
    if (!failure.folderInTheWay.empty()) stdfs::remove(foldersAtMessage[0] / failure.folderInTheWay);
  };
  if (!failure.folderInTheWay.empty()) {
    app_.createDirectory = [&](std::u16string_view path) {
      const fs::ErrorCode error = fs::CreatePrivateFolder(path);
      if (error == 0) stdfs::create_directory(stdfs::path(std::u16string(path)) / failure.folderInTheWay);
      return error;
    };
  }

  EXPECT_EQ(Run(), 0);

  const std::vector<std::string> messages = Messages();
  ASSERT_EQ(messages.size(), 1u) << ::testing::PrintToString(messages);
  // The disk error carries the system's number after its text.
  EXPECT_TRUE(messages[0].starts_with(failure.message)) << messages[0];
  EXPECT_TRUE(app_.langArgumentsOk);
  const std::ptrdiff_t message = At(messages[0]);
  const std::ptrdiff_t created = At("Form2.Create main");
  const std::ptrdiff_t destroyed = At("Form2.Destroy");
  if (failure.loadingWindowBehindMessage) {
    EXPECT_TRUE(created != -1 && created < message && destroyed > message);
  } else {
    EXPECT_TRUE(destroyed == -1 || destroyed < message);
  }
  EXPECT_EQ(At("Form1.Create"), -1);
  EXPECT_EQ(At("Form1.Create main"), -1);

  // Whatever the run had made is gone once it ends, and nothing was
  // written beside the folder.
  EXPECT_TRUE(Folders().empty()) << ::testing::PrintToString(Folders());
  EXPECT_FALSE(stdfs::exists(dir_ / "evil"));
  if (!failure.folderMade) {
    EXPECT_TRUE(foldersAtMessage.empty());
    EXPECT_EQ(app_.folderAttempts, 0);
    return;
  }
  // The message comes while the folder still holds what was written so far.
  ASSERT_EQ(foldersAtMessage.size(), 1u);
  EXPECT_EQ(filesAtMessage, failure.filesAtMessage);
}

INSTANTIATE_TEST_SUITE_P(Table, SequenceFailureTest, ::testing::ValuesIn(Failures()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SequenceTest, AFullDiskStopsTheRunAtTheFirstFailedWriteAndSaysWhy) {
  const SmallTmpfs disk(dir_ / "tmp", "64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  std::vector<Entry> entries;
  for (std::uint32_t i = 0; i < 4; ++i) {
    entries.push_back(NamedEntry(u"big" + Widen(std::to_string(i)), SaltedData(i, 40000)));
  }
  entries.push_back(NamedEntry(u"index.html", "x"));
  WriteBook(Archive("5", entries, kProgram));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"plain: Error by 13\r\nNo space left on device"});
  EXPECT_EQ(At("Form1.Create main"), -1);
  EXPECT_TRUE(Folders().empty());
}

// A disk with room left but no more files: the file that cannot be made
// says why, not only its number.
TEST_F(SequenceTest, ADiskOutOfFilesSaysWhyTheFileCannotBeMade) {
  // One file for the folder, one for the first entry, none for the second.
  const SmallTmpfs disk(dir_ / "tmp", "1M,nr_inodes=3");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  WriteBook(Archive("3", {NamedEntry(u"a.gif", "A"), NamedEntry(u"b.gif", "B"), NamedEntry(u"index.html", "x")},
                    kProgram));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"plain: Error writing to disk. Error number: 28\r\n"
                                                 "No space left on device"});
  EXPECT_EQ(At("Form1.Create main"), -1);
  EXPECT_TRUE(Folders().empty());
}

TEST_F(SequenceTest, FolderThatCannotBeMadeEndsTheRunBehindTheLoadingWindow) {
  WriteBook(Archive("1", {NamedEntry(u"index.html", "x")}, kProgram));
  // A temporary path under a regular file refuses every folder, root or not.
  WriteFile(dir_ / "plain", "not a folder");
  app_.tempPath = TempPathOf(dir_ / "plain");
  EXPECT_EQ(Run(), 0);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "lang: " + FolderMessageFor(dir_ / "plain", fs::ErrorText(kUnderAFile)));
  EXPECT_LT(At("Form2.Create main"), At(messages[0]));
  EXPECT_EQ(At("Form2.Destroy"), static_cast<std::ptrdiff_t>(app_.log.size()) - 1);
  EXPECT_EQ(app_.folderAttempts, kBookFolderAttempts);
}

}  // namespace
}  // namespace pagimor::test
