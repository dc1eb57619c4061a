// The archive reader routines against small containers made byte by byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <random>

#include "support.h"
#include "vxwebtest/search.h"

namespace pagimor::test {
namespace {

class ReaderTest : public ::testing::Test {
 protected:
  // Makes `bytes` the container the routines read.
  void Container(std::string_view bytes) {
    WriteFile(dir_ / "book", bytes);
    container_ = Widen((dir_ / "book").string());
  }
  void NoContainer() { container_ = Widen((dir_ / "missing").string()); }
  [[nodiscard]] ArchiveReader reader() { return ArchiveReader(container_, host_, aborted_); }

  std::u16string container_;
  bool aborted_ = false;

  ScratchDir dir_;
  RecordingHost host_;
};

TEST_F(ReaderTest, KeysUnshiftToTheMarkers) {
  EXPECT_EQ(UnshiftMarker(HeaderMarkerKey()), Header());
  EXPECT_EQ(UnshiftMarker(EntryTerminatorKey()), Terminator());
  EXPECT_EQ(UnshiftMarker(EndOfArchiveMarkerKey()), EndMarker());
  EXPECT_EQ(UnshiftMarker(std::string("\x01\x02\xFF", 3)), std::string("\xFF\x00\xFD", 3));  // mod 256
}

// Where a marker lands relative to the reading windows must not matter.
TEST_F(ReaderTest, FindsTheFirstOccurrenceWherever_ItStands) {
  const std::string marker = Terminator();
  const std::size_t window = detail::kScanBlock;
  struct Case {
    std::string name;
    std::string bytes;
  };
  std::vector<Case> cases;
  for (const std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{1010}, std::size_t{1020},
                               std::size_t{1023}, std::size_t{1024}, window - 14, window - 1, window, window + 3}) {
    cases.push_back({"at " + std::to_string(at), std::string(at, 'a') + marker + "tail"});
  }
  // Starts that overlap a failed partial match.
  cases.push_back({"after extra <", "x<" + marker});
  cases.push_back({"after <<#", "<<#" + marker});
  cases.push_back({"after a long partial", marker.substr(0, 14) + marker});
  cases.push_back({"partial straddling a window", std::string(window - 7, 'b') + marker.substr(0, 9) + marker});
  for (const Case& c : cases) {
    Container(c.bytes);
    EXPECT_EQ(reader().FindMarker(marker), static_cast<std::int32_t>(c.bytes.find(marker))) << c.name;
  }
  EXPECT_TRUE(host_.plain.empty());
}

TEST_F(ReaderTest, FindsNothingInAFileEndingWithAllButTheLastByte) {
  for (const std::string& marker : {Header(), Terminator(), EndMarker()}) {
    for (const std::size_t lead : {std::size_t{0}, std::size_t{1000}, detail::kScanBlock - 5}) {
      Container(std::string(lead, 'z') + marker.substr(0, marker.size() - 1));
      EXPECT_EQ(reader().FindMarker(marker), kNotFound) << lead;
      EXPECT_EQ(reader().FindMarkerFrom(marker, 0), kNotFound) << lead;
    }
  }
  Container("");
  EXPECT_EQ(reader().FindMarker(Header()), kNotFound);
  EXPECT_TRUE(host_.plain.empty());
}

TEST_F(ReaderTest, SearchFromCountsFromTheFilesFirstByte) {
  const std::string m = EndMarker();
  const std::string bytes = "12345" + m + std::string(2000, '-') + m;
  Container(bytes);
  EXPECT_EQ(reader().FindMarkerFrom(m, 0), 5);
  EXPECT_EQ(reader().FindMarkerFrom(m, 5), 5);
  EXPECT_EQ(reader().FindMarkerFrom(m, 6), static_cast<std::int32_t>(bytes.rfind(m)));
  EXPECT_EQ(reader().FindMarkerFrom(m, static_cast<std::int32_t>(bytes.size())), kNotFound);
}

// Against a plain substring search on data full of marker beginnings.
TEST_F(ReaderTest, AgreesWithAPlainSearchOnSaltedData) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    std::string bytes = SaltedData(static_cast<std::uint32_t>(round), 1 + rng() % 600000);
    const std::string marker = round % 2 == 0 ? Terminator() : EndMarker();
    bytes.insert(rng() % bytes.size(), marker);
    const auto from = static_cast<std::int32_t>(rng() % bytes.size());
    Container(bytes);
    const auto expected = bytes.find(marker, static_cast<std::size_t>(from));
    EXPECT_EQ(reader().FindMarkerFrom(marker, from),
              expected == std::string::npos ? kNotFound : static_cast<std::int32_t>(expected))
        << "round " << round;
  }
}

TEST_F(ReaderTest, ProcessesMessagesWhileScanning) {
  Container(std::string(3 * detail::kScanBlock, 'q'));
  reader().FindMarker(Terminator());
  EXPECT_GE(host_.pumps, 3);
}

TEST_F(ReaderTest, ReadsTheCountText) {
  struct Case {
    std::string afterHeader;
    std::string count;
    std::int32_t next;  // relative to the header
  };
  const Case cases[] = {
      {"7" + EntryMarker(), "7", 18},
      {"16" + EntryMarker(), "16", 19},
      {"999" + EntryMarker(), "999", 20},
      {"1<2", "12", 19},  // every '<' is left out, wherever it stands
      {"", "", 17},       // nothing after the header: only what was read counts
  };
  for (const Case& c : cases) {
    Container("stub" + Header() + c.afterHeader);
    std::int32_t next = -5;
    EXPECT_EQ(reader().ReadFileCount(4, next), c.count) << c.afterHeader;
    EXPECT_EQ(next, 4 + c.next) << c.afterHeader;
  }
  EXPECT_TRUE(host_.plain.empty());
}

TEST_F(ReaderTest, ParsesOnlyCountsFromOneTo999) {
  int n = -1;
  for (const char* good : {"1", "16", "999", "007"}) EXPECT_TRUE(ParseFileCount(good, n)) << good;
  EXPECT_EQ(n, 7);
  for (const char* bad : {"", "0", "000", "1000", "-1", "1a", " 1", "+1"}) EXPECT_FALSE(ParseFileCount(bad, n)) << bad;
}

TEST_F(ReaderTest, ReadsAndDecodesEntryNames) {
  struct Case {
    std::string hex;
    std::u16string name;
  };
  const Case cases[] = {
      {"0069006E006400650078002E00680074006D006C", u"index.html"},
      {"0069006e006400650078002e00680074006d006c", u"index.html"},  // lower case
      {"0069006E006400650078002E00680074006D006C" "0", u"index.html"},  // 41 characters
      {"041F0440043804320435044200200441043C04380440", u"Привет смир"},
      {"D83DDE00002E0070006E0067", std::u16string(u"\U0001F600.png")},  // a surrogate pair
      {"03B1", u"α"},
  };
  for (const Case& c : cases) {
    Container(EntryMarker() + c.hex + NameCloser() + "data");
    std::int32_t dataStart = 0;
    EXPECT_EQ(reader().ReadEntryName(0, dataStart), c.name) << c.hex;
    EXPECT_EQ(dataStart, static_cast<std::int32_t>(15 + c.hex.size() + 5)) << c.hex;
    EXPECT_FALSE(aborted_) << c.hex;
  }
  EXPECT_TRUE(host_.lang.empty());
  EXPECT_TRUE(host_.plain.empty());
}

TEST_F(ReaderTest, ABadGroupIsRefusedOnceWhateverCameBefore) {
  for (const std::string hex : {"00410042004G", "0041XYZW0042", "   A"}) {
    host_.lang.clear();
    aborted_ = false;
    EXPECT_EQ(reader().DecodeHexName(hex), kRefusedName) << hex;
    EXPECT_TRUE(aborted_) << hex;
    ASSERT_EQ(host_.lang.size(), 1u) << hex;
    EXPECT_EQ(host_.lang[0], kBadNameMessage);
  }
  EXPECT_TRUE(host_.langArgsOk);
  // Too short to hold a group: an empty name, without a message.
  aborted_ = false;
  host_.lang.clear();
  EXPECT_EQ(reader().DecodeHexName("abc"), u"");
  EXPECT_FALSE(aborted_);
  EXPECT_TRUE(host_.lang.empty());
}

// A name becomes a file inside the book folder, or a path of folders and a
// file inside it: anything else is refused exactly as an undecodable name,
// so no caller can write outside the folder.
TEST_F(ReaderTest, RefusesNamesThatCannotStandInsideTheBookFolder) {
  const std::u16string refused[] = {
      u"", u".", u"..", u"../../x", u"/etc/x", u"a\\b", std::u16string(u"a\0b", 3), u"tab\there",
      u"a\x7F", u"a<b", u"a>b", u"c:x", u"a\"b", u"a|b", u"a?b", u"a*b", u"trail ", u"trail.", u"CON", u"con",
      u"Nul.txt", u"aux.tar.gz", u"PRN", u"COM1", u"com9.log", u"LPT5", u"lpt1.x", u"COM\u00B9", u"CON .txt",
      std::u16string(1, u'\xD800') + u"x", u"x" + std::u16string(1, u'\xDC00'), std::u16string(256, u'n'),
      u"CONIN$", u"conout$", u"CoNiN$.txt",
      // Within 255 UTF-16 units but over the 255 bytes Linux allows a name.
      std::u16string(200, u'\u00E9'), std::u16string(128, u'\u00E9'),
      // Paths: every component by the rules above, and no empty one.
      u"/a", u"a/", u"/", u"a//b", u"./a", u"a/./b", u"a/..", u"a/../../x", u"img\\a/b", u"img/a\\b", u"img/CON",
      u"con.txt/a.png", u"img/lpt1.x", u"img./a", u"img /a", u"img/a.", u"img/a ", u"img/a:b", u"img/\x01",
      u"img/" + std::u16string(128, u'\u00E9'), u"a/" + std::u16string(254, u'n'),
  };
  for (const std::u16string& name : refused) {
    EXPECT_FALSE(IsEntryName(name)) << ToUtf8(name);
    Container(EntryMarker() + Hex(name) + NameCloser() + "data");
    aborted_ = false;
    host_.lang.clear();
    std::int32_t dataStart = 0;
    EXPECT_EQ(reader().ReadEntryName(0, dataStart), kRefusedName) << ToUtf8(name);
    EXPECT_TRUE(aborted_) << ToUtf8(name);
    EXPECT_EQ(host_.lang.size(), 1u) << ToUtf8(name);
  }
  EXPECT_TRUE(host_.langArgsOk);
  const std::u16string accepted[] = {u"index.html", u"a", u"CONSOLE.txt", u"com0", u"COM10", u"LPT", u".hidden",
                                     u"名前.png", std::u16string(255, u'n'), u"a b.c", u"x\U0001F600",
                                     u"CONIN", u"CONOUT$x", std::u16string(127, u'\u00E9') + u"x",
                                     u"img/arrow1.gif", u"a/b/c/d.png", u".git/x", u"名前/音.mp3",
                                     std::u16string(127, u'\u00E9') + u"/x", u"a/" + std::u16string(253, u'n')};
  for (const std::u16string& name : accepted) {
    EXPECT_TRUE(IsEntryName(name)) << ToUtf8(name);
    Container(EntryMarker() + Hex(name) + NameCloser() + "data");
    aborted_ = false;
    std::int32_t dataStart = 0;
    EXPECT_EQ(reader().ReadEntryName(0, dataStart), name) << ToUtf8(name);
    EXPECT_FALSE(aborted_) << ToUtf8(name);
  }
  // A flat name stays a plain file name; a path's problem names its part.
  EXPECT_FALSE(IsPlainFileName(u"img/a.gif"));
  EXPECT_EQ(EntryNameProblem(u"CON"), FileNameProblem(u"CON"));
  EXPECT_EQ(EntryNameProblem(u"img/CON/a"),
            std::string("the path's component \"CON\": ") + FileNameProblem(u"CON"));
}

TEST_F(ReaderTest, ANameWithoutCloserWithin1024BytesTakesThemAll) {
  Container(EntryMarker() + std::string(1100, 'A'));
  std::int32_t dataStart = 0;
  reader().ReadEntryName(0, dataStart);
  EXPECT_EQ(dataStart, 1044);
  EXPECT_TRUE(aborted_);  // 256 units is one too many for a name
}

TEST_F(ReaderTest, CopiesExactlyTheRange) {
  const std::string data = SaltedData(3, 700000);
  Container(data);
  for (const std::int32_t length : {0, 1, 1023, 1024, 1025, 2048, 262143, 262144, 262145, 699999}) {
    const auto dest = Widen((dir_ / "out").string());
    std::int32_t next = -1;
    ASSERT_TRUE(reader().CopyRange(1, 1 + length, dest, next)) << length;
    EXPECT_EQ(ReadFile(dir_ / "out"), data.substr(1, static_cast<std::size_t>(length))) << length;
    EXPECT_EQ(next, 1 + length + 15);
  }
  EXPECT_TRUE(host_.plain.empty());
}

TEST_F(ReaderTest, CopyOfAnEmptyOrBackwardRangeMakesAnEmptyFile) {
  Container("0123456789");
  for (const auto& [start, end] : {std::pair{5, 5}, std::pair{7, 3}}) {
    WriteFile(dir_ / "out", "old contents");
    std::int32_t next = -1;
    ASSERT_TRUE(reader().CopyRange(start, end, Widen((dir_ / "out").string()), next));
    EXPECT_EQ(ReadFile(dir_ / "out"), "");
    EXPECT_EQ(next, end + 15);
  }
  EXPECT_TRUE(host_.plain.empty());
}

TEST_F(ReaderTest, CopyIntoAFolderThatIsNotThereKeepsTheNextPosition) {
  Container("0123456789");
  std::int32_t next = 1234;
  EXPECT_FALSE(reader().CopyRange(0, 5, Widen((dir_ / "no" / "out").string()), next));
  EXPECT_EQ(next, 1234);
  ASSERT_EQ(host_.plain.size(), 1u);
  EXPECT_EQ(host_.plain[0],
            "Error writing to disk. Error number: " + std::to_string(kNoSuchFolder) + "\r\n" + fs::ErrorText(kNoSuchFolder));
}

#if !defined(_WIN32)
// Links, FIFOs and small file systems are POSIX matters; the Windows file
// layer has its own tests of replacing a file.
// Whatever already stands under the name, the copy makes a new file there:
// it never writes through a link into another file, never opens a FIFO or a
// device, and leaves a folder of that name alone.
TEST_F(ReaderTest, CopyMakesTheDestinationAfresh) {
  namespace stdfs = std::filesystem;
  Container("0123456789");
  const stdfs::path out = dir_ / "out";
  const stdfs::path victim = dir_ / "victim";
  struct Case {
    std::string what;
    std::function<void()> plant;
  };
  const Case cases[] = {
      {"old file", [&] { WriteFile(out, "old contents, longer than the new"); }},
      {"hard link", [&] { stdfs::create_hard_link(victim, out); }},
      {"symbolic link", [&] { stdfs::create_symlink(victim, out); }},
      {"dangling link", [&] { stdfs::create_symlink(dir_ / "nowhere", out); }},
      {"fifo", [&] { ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0); }},
  };
  for (const Case& c : cases) {
    stdfs::remove(out);
    WriteFile(victim, "keep");
    c.plant();
    host_.plain.clear();
    std::int32_t next = 0;
    EXPECT_TRUE(reader().CopyRange(2, 7, Widen(out.string()), next)) << c.what;
    EXPECT_TRUE(host_.plain.empty()) << c.what;
    // Read back only a regular file: opening a FIFO to read would wait.
    if (!stdfs::is_regular_file(stdfs::symlink_status(out))) {
      ADD_FAILURE() << c.what << ": not a new regular file";
      continue;
    }
    EXPECT_EQ(ReadFile(out), "23456") << c.what;
    EXPECT_EQ(ReadFile(victim), "keep") << c.what;
    EXPECT_FALSE(stdfs::exists(dir_ / "nowhere")) << c.what;
  }
  // A folder is not a file to replace: refused, and kept with what it holds.
  stdfs::remove(out);
  stdfs::create_directory(out);
  WriteFile(out / "inside", "keep");
  host_.plain.clear();
  std::int32_t next = 77;
  EXPECT_FALSE(reader().CopyRange(2, 7, Widen(out.string()), next));
  EXPECT_EQ(next, 77);
  EXPECT_EQ(host_.plain, std::vector<std::string>{"Error writing to disk. Error number: " + std::to_string(EISDIR) +
                                                  "\r\nIs a directory"});
  EXPECT_EQ(ReadFile(out / "inside"), "keep");
}

// The caller goes on only when the destination holds the whole range: a
// copy cut short says so once and gives false.
TEST_F(ReaderTest, CopyGivesTrueOnlyWhenTheDestinationHoldsEveryByte) {
  const std::int32_t size = 200000;
  const std::string data = SaltedData(5, static_cast<std::size_t>(size));
  // A small file system stands for a full disk; never a device file, which
  // creating a destination afresh would replace.
  std::filesystem::create_directory(dir_ / "full");
  const SmallTmpfs full(dir_ / "full", "64k");
  struct Case {
    std::string what;
    std::int32_t end;
    std::u16string destination;
    bool result;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"whole range", size, Widen((dir_ / "out").string()), true, {}},
      {"source ends before the range", size + 2000, Widen((dir_ / "out").string()), false, {"Error by 12"}},
      {"the disk fills up", size, Widen((dir_ / "full" / "out").string()), false,
       {"Error by 13\r\nNo space left on device"}},
  };
  for (const Case& c : cases) {
    if (c.what == "the disk fills up" && !full.mounted()) continue;
    Container(data);
    host_.plain.clear();
    std::int32_t next = 0;
    EXPECT_EQ(reader().CopyRange(0, c.end, c.destination, next), c.result) << c.what;
    EXPECT_EQ(host_.plain, c.messages) << c.what;
  }
}
#endif

// Every routine reports its own step failures when the container is gone.
TEST_F(ReaderTest, ReportsEachFailedStepWithItsNumber) {
  NoContainer();
  struct Case {
    std::string routine;
    std::function<void()> call;
    std::vector<std::string> messages;
  };
  std::int32_t pos = 0;
  const std::u16string dest = Widen((dir_ / "dest").string());
  const Case cases[] = {
      {"FindMarker", [&] { EXPECT_EQ(reader().FindMarker(Header()), kNotFound); }, {"Error by 3", "Error by 1"}},
      {"FindMarkerFrom", [&] { EXPECT_EQ(reader().FindMarkerFrom(Header(), 0), kNotFound); }, {"Error by 5"}},
      {"ReadFileCount", [&] { EXPECT_EQ(reader().ReadFileCount(0, pos), ""); }, {"Error by 6", "Error by 7"}},
      {"ReadEntryName", [&] { reader().ReadEntryName(0, pos); }, {"Error by 8", "Error by 9"}},
      {"CopyRange", [&] { EXPECT_FALSE(reader().CopyRange(0, 4000, dest, pos)); },
       {"Error by 10", "Error by 11", "Error by 12"}},
  };
  for (const Case& c : cases) {
    host_.plain.clear();
    c.call();
    EXPECT_EQ(host_.plain, c.messages) << c.routine;
  }
  // The destination is still created, empty, and the position still given.
  EXPECT_EQ(ReadFile(dir_ / "dest"), "");
  EXPECT_EQ(pos, 4015);
}

}  // namespace
}  // namespace pagimor::test
