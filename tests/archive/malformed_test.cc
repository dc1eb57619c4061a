// Damaged and hostile books through the reader, in process so that the
// sanitizers watch every step: a clear error, no crash, and nothing written
// anywhere but the target folder.
#include <gtest/gtest.h>

#include "support.h"
#include "platform/file.h"
#include "vxwebtest/walk.h"

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

// Extracts the reader's book into folder the way the packer's extract does.
ArchiveWalk ExtractInto(const stdfs::path& folder, const ArchiveReader& reader) {
  const std::u16string target = Widen(folder.string());
  return WalkArchive(reader, [&](const ArchiveWalk& walk, std::string& error) {
    const ArchiveEntry& entry = walk.entries.back();
    std::int32_t next = 0;
    if (!reader.CopyRange(entry.dataStart, entry.dataEnd, fs::JoinPath(target, entry.name), next)) {
      error = "cannot write";
      return false;
    }
    return true;
  });
}

std::vector<std::string> Tree(const stdfs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : stdfs::recursive_directory_iterator(root)) {
    names.push_back(stdfs::relative(e.path(), root).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class MalformedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stdfs::create_directory(dir_ / "out");
    container_ = Widen((dir_ / "book").string());
  }
  ArchiveWalk Extract(std::string_view bytes) {
    WriteFile(dir_ / "book", bytes);
    return ExtractInto(dir_ / "out", ArchiveReader(container_, host_, aborted_));
  }
  ScratchDir dir_;
  RecordingHost host_;
  std::u16string container_;
  bool aborted_ = false;
};

TEST_F(MalformedTest, ATruncatedBookNeverCrashesOrEscapes) {
  const std::string book =
      Archive("3", {NamedEntry(u"a.gif", SaltedData(1, 300)), NamedEntry(u"b.txt", ""), NamedEntry(u"index.html", "<p>")});
  for (std::size_t cut = 0; cut < book.size(); ++cut) {
    stdfs::remove_all(dir_ / "out");
    stdfs::create_directory(dir_ / "out");
    const ArchiveWalk walk = Extract(book.substr(0, cut));
    EXPECT_FALSE(walk.error.empty()) << "cut at " << cut;
    for (const std::string& name : Tree(dir_ / "out")) {
      EXPECT_TRUE(name == "a.gif" || name == "b.txt" || name == "index.html") << name;
    }
    // Only the book, the target folder and what is in it.
    EXPECT_EQ(Tree(dir_.path()).size(), 2 + Tree(dir_ / "out").size()) << "cut at " << cut;
  }
}

TEST_F(MalformedTest, HostileNamesStopTheExtractionInsideTheFolder) {
  for (const std::u16string name : {u"../escape", u"/tmp/abs", u"..\\win", u"sub//inner", u"sub/../../x", u"sub/", u"..", u"NUL",
                                  u"sub/nul.txt"}) {
    stdfs::remove_all(dir_ / "out");
    stdfs::create_directory(dir_ / "out");
    const ArchiveWalk walk =
        Extract(Archive("3", {NamedEntry(u"first.txt", "1"), NamedEntry(name, "evil"), NamedEntry(u"index.html", "")}));
    EXPECT_NE(walk.error.find("entry 2: the name cannot be read"), std::string::npos) << ToUtf8(name);
    EXPECT_TRUE(aborted_);
    EXPECT_EQ(Tree(dir_ / "out"), std::vector<std::string>{"first.txt"}) << ToUtf8(name);
    EXPECT_EQ(Tree(dir_.path()).size(), 3u) << ToUtf8(name);
  }
}

TEST_F(MalformedTest, CountsThatDisagreeWithTheEntries) {
  const Entry a = NamedEntry(u"a", "AAAA");
  const Entry b = NamedEntry(u"b", "BBBB");
  // Fewer counted than written: the last counted entry ends at its terminator.
  ArchiveWalk walk = Extract(Archive("1", {a, b}));
  EXPECT_TRUE(walk.error.empty()) << walk.error;
  EXPECT_EQ(ReadFile(dir_ / "out" / "a"), "AAAA");
  EXPECT_FALSE(stdfs::exists(dir_ / "out" / "b"));
  // More counted than written: what follows the end marker is no entry.
  walk = Extract(Archive("5", {a, b}));
  EXPECT_NE(walk.error.find("entry 3"), std::string::npos) << walk.error;
  EXPECT_EQ(ReadFile(dir_ / "out" / "b"), "BBBB");
  for (const std::string bad : {"0", "abc", ""}) {
    walk = Extract(Archive(bad, {a}));
    EXPECT_NE(walk.error.find("is not a number from 1 to 999"), std::string::npos) << bad;
  }
}

TEST_F(MalformedTest, TheLaterOfTwoEntriesOfOneNameWins) {
  const ArchiveWalk walk = Extract(Archive("2", {NamedEntry(u"x", "first"), NamedEntry(u"x", "second")}));
  EXPECT_TRUE(walk.error.empty());
  EXPECT_EQ(ReadFile(dir_ / "out" / "x"), "second");
}

TEST_F(MalformedTest, EntriesEndWhereTheirMarkerBegins) {
  // Data ending in every proper beginning of the marker that closes it.
  std::vector<Entry> entries;
  const std::string t = Terminator();
  for (std::size_t k = 1; k < t.size(); ++k) entries.push_back(NamedEntry(u"t" + Widen(std::to_string(k)), "d" + t.substr(0, k)));
  const std::string e = EndMarker();
  entries.push_back(NamedEntry(u"last", "d" + e.substr(0, e.size() - 1)));
  const ArchiveWalk walk = Extract(Archive(std::to_string(entries.size()), entries));
  ASSERT_TRUE(walk.error.empty()) << walk.error;
  for (std::size_t k = 1; k < t.size(); ++k) EXPECT_EQ(ReadFile(dir_ / "out" / ("t" + std::to_string(k))), "d" + t.substr(0, k));
  EXPECT_EQ(ReadFile(dir_ / "out" / "last"), "d" + e.substr(0, e.size() - 1));
}

}  // namespace
}  // namespace pagimor::test
