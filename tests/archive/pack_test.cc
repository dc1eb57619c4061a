// The packer as its users run it: a real process, its exit code, its
// messages and the files it leaves.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "support.h"

extern char** environ;

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

struct PackRun {
  int exit = -1;
  std::string out;
  std::string err;
};

PackRun Pack(const std::vector<std::string>& args, const stdfs::path& cwd = {}) {
  ScratchDir io;
  std::vector<std::string> argv = {BuiltProgram("pagimor-pack").string()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (std::string& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  PackRun run;
  if (posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadFile(io / "out");
  run.err = ReadFile(io / "err");
  return run;
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stdfs::create_directory(dir_ / "book");
    WriteFile(dir_ / "stub", "#!/bin/sh\necho viewer\n");
    stdfs::permissions(dir_ / "stub", stdfs::perms(0755));
  }
  void Put(const std::string& name, std::string_view data) { WriteFile(dir_ / "book" / name, data); }
  PackRun Create(const std::string& out = "out.book") {
    return Pack({"create", "--viewer", (dir_ / "stub").string(), "-o", (dir_ / out).string(), (dir_ / "book").string()});
  }
  // Everything in the scratch folder but the inputs: what a run left.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& e : stdfs::directory_iterator(dir_.path())) {
      const std::string n = e.path().filename().string();
      if (n != "book" && n != "stub") names.push_back(n);
    }
    return names;
  }
  ScratchDir dir_;
};

TEST_F(PackTest, RoundTripsRandomFolders) {
  const std::u16string names[] = {u"index.html", u"Bild_ä.png", u"звук.wav", u"図.gif", u"αβγ.txt",
                                  u"x\U0001F600.bin", u"readme", u"a b c.css", u"z.js", u".hidden"};
  std::mt19937 rng(11);
  for (int round = 0; round < 4; ++round) {
    ScratchDir work;
    stdfs::create_directory(work / "in");
    std::vector<std::pair<std::string, std::string>> files;
    const std::size_t n = 1 + rng() % std::size(names);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t size = std::vector<std::size_t>{0, 1, 1023, 1024, 1025, 2048, 300000}[rng() % 7];
      files.emplace_back(ToUtf8(names[i]), SaltedData(static_cast<std::uint32_t>(rng()), size));
      WriteFile(work / "in" / files.back().first, files.back().second);
    }
    const PackRun created = Pack({"create", "--viewer", (dir_ / "stub").string(), "-o", (work / "b").string(),
                              (work / "in").string()});
    ASSERT_EQ(created.exit, 0) << created.err;
    const PackRun extracted = Pack({"extract", (work / "b").string(), (work / "out" / "deep").string()});
    ASSERT_EQ(extracted.exit, 0) << extracted.err;
    std::size_t count = 0;
    for (const auto& e : stdfs::directory_iterator(work / "out" / "deep")) {
      (void)e;
      ++count;
    }
    EXPECT_EQ(count, files.size());
    for (const auto& [name, data] : files) EXPECT_EQ(ReadFile(work / "out" / "deep" / name), data) << name;
    const PackRun verified = Pack({"verify", (work / "b").string()});
    EXPECT_EQ(verified.exit, 0) << verified.err;
  }
}

TEST_F(PackTest, WritesTheViewerThenTheArchive) {
  Put("index.html", "<p>hi</p>");
  Put("a.gif", "GIF");
  ASSERT_EQ(Create().exit, 0);
  const std::string book = ReadFile(dir_ / "out.book");
  const std::string expected = ReadFile(dir_ / "stub") + Header() + "2" + EntryMarker() + Hex(u"a.gif") +
                               NameCloser() + "GIF" + Terminator() + EntryMarker() + Hex(u"index.html") +
                               NameCloser() + "<p>hi</p>" + EndMarker();
  EXPECT_EQ(book, expected);
  EXPECT_EQ(stdfs::status(dir_ / "out.book").permissions(), stdfs::perms(0755));
  // The same folder and viewer give the same bytes; -oBOOK names the book too.
  ASSERT_EQ(Pack({"create", "--viewer", (dir_ / "stub").string(), "-o" + (dir_ / "again.book").string(),
                  (dir_ / "book").string()})
                .exit,
            0);
  EXPECT_EQ(ReadFile(dir_ / "again.book"), book);
  EXPECT_EQ(Leftovers().size(), 2u);
}

TEST_F(PackTest, ListsNamesSizesAndTotal) {
  Put("index.html", "12345");
  Put("b.txt", "");
  ASSERT_EQ(Create().exit, 0);
  const PackRun run = Pack({"list", (dir_ / "out.book").string()});
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.out, "           0  b.txt\n           5  index.html\n           5  bytes in 2 files\n");
}

TEST_F(PackTest, PutsLastAFileWithoutTheEndMarker) {
  Put("index.html", "<p>index</p>");
  Put("zz.bin", "data " + EndMarker() + " more");  // would be last in name order
  ASSERT_EQ(Create().exit, 0);
  EXPECT_EQ(Pack({"verify", (dir_ / "out.book").string()}).exit, 0);
  ASSERT_EQ(Pack({"extract", (dir_ / "out.book").string(), (dir_ / "x").string()}).exit, 0);
  EXPECT_EQ(ReadFile(dir_ / "x" / "zz.bin"), "data " + EndMarker() + " more");
}

TEST_F(PackTest, RefusesWhatABookCannotCarry) {
  struct Case {
    std::string what;
    std::function<void()> arrange;
    std::string message;
  };
  const stdfs::path book = dir_ / "book";
  const Case cases[] = {
      {"subfolder", [&] { Put("index.html", "x"), stdfs::create_directory(book / "sub"); }, "sub\": is a subfolder"},
      {"no index", [&] { Put("a.html", "x"); }, "has no index.html"},
      {"empty", [] {}, "is empty"},
      {"too many", [&] {
         for (int i = 0; i < 999; ++i) Put("f" + std::to_string(i), "");
         Put("index.html", "");
       },
       "holds 1000 files; a book holds at most 999"},
      {"device name", [&] { Put("index.html", ""), Put("con.txt", ""); }, "con.txt\": the name is a reserved device"},
      {"forbidden char", [&] { Put("index.html", ""), Put("a:b", ""); }, "a:b\": the name holds a character"},
      {"trailing dot", [&] { Put("index.html", ""), Put("x.", ""); }, "x.\": the name ends with a space or a dot"},
      {"control char", [&] { Put("index.html", ""), Put("a\tb", ""); }, "the name holds a control character"},
      {"not utf-8", [&] { Put("index.html", ""), Put("bad\xFF", ""); }, "the name is not valid UTF-8"},
      {"terminator in data", [&] { Put("index.html", "abc" + Terminator()); },
       "index.html\": holds the entry terminator at offset 3"},
      {"all hold the end marker", [&] { Put("index.html", EndMarker()), Put("b", EndMarker()); },
       "every file holds the end-of-archive marker"},
      {"fifo", [&] { Put("index.html", ""), ::mkfifo((book / "pipe").c_str(), 0600); }, "pipe\": is not a regular file"},
      {"viewer holds header", [&] { Put("index.html", ""), WriteFile(dir_ / "stub", "MZ" + Header()); },
       "holds the header marker at offset 2"},
      {"viewer holds terminator", [&] { Put("index.html", ""), WriteFile(dir_ / "stub", "MZ" + Terminator()); },
       "holds the entry terminator at offset 2"},
      {"2 GiB", [&] {
         Put("index.html", "");
         const int fd = ::open((book / "huge").c_str(), O_WRONLY | O_CREAT, 0600);
         EXPECT_EQ(::ftruncate(fd, (off_t{1} << 31) - 40), 0);
         ::close(fd);
       },
       "a book stays below 2 GiB"},
  };
  for (const Case& c : cases) {
    stdfs::remove_all(book);
    stdfs::create_directory(book);
    WriteFile(dir_ / "stub", "#!/bin/sh\n");
    c.arrange();
    const PackRun run = Create();
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_TRUE(run.err.starts_with("pagimor-pack: ")) << c.what;
    EXPECT_TRUE(Leftovers().empty()) << c.what;
  }
}

// A disk that fills up half-way: the run fails and leaves no file cut short.
TEST_F(PackTest, AFullDiskLeavesNoPartialFile) {
  ScratchDir mnt;
  if (::mount("tmpfs", mnt.path().c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    const stdfs::path& at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mnt.path()};
  Put("index.html", std::string(200000, 'x'));
  const PackRun created = Pack({"create", "--viewer", (dir_ / "stub").string(), "-o", (mnt / "book").string(),
                                (dir_ / "book").string()});
  EXPECT_EQ(created.exit, 1);
  EXPECT_NE(created.err.find("No space left on device"), std::string::npos) << created.err;
  EXPECT_TRUE(stdfs::is_empty(mnt.path()));

  ASSERT_EQ(Create().exit, 0);
  const PackRun extracted = Pack({"extract", (dir_ / "out.book").string(), (mnt / "x").string()});
  EXPECT_EQ(extracted.exit, 1);
  EXPECT_NE(extracted.err.find("cannot write " + (mnt / "x" / "index.html").string()), std::string::npos)
      << extracted.err;
  EXPECT_TRUE(stdfs::is_empty(mnt / "x"));
}

// What already stands in DIR: a hard link's other name keeps its contents, a
// folder under an entry's name stops the run with a plain reason.
TEST_F(PackTest, ExtractWritesNewFilesAndStopsAtAFolderInTheWay) {
  Put("index.html", "<p>new</p>");
  Put("z.txt", "z");
  ASSERT_EQ(Create().exit, 0);
  const stdfs::path x = dir_ / "x";
  stdfs::create_directory(x);
  WriteFile(dir_ / "victim", "keep");
  stdfs::create_hard_link(dir_ / "victim", x / "index.html");
  const PackRun linked = Pack({"extract", (dir_ / "out.book").string(), x.string()});
  EXPECT_EQ(linked.exit, 0) << linked.err;
  EXPECT_EQ(ReadFile(dir_ / "victim"), "keep");
  EXPECT_EQ(ReadFile(x / "index.html"), "<p>new</p>");

  stdfs::remove(x / "z.txt");
  stdfs::create_directory(x / "z.txt");
  const PackRun blocked = Pack({"extract", (dir_ / "out.book").string(), x.string()});
  EXPECT_EQ(blocked.exit, 1);
  EXPECT_NE(blocked.err.find("cannot write " + (x / "z.txt").string() + ": a folder of that name is in the way"),
            std::string::npos)
      << blocked.err;
  EXPECT_TRUE(stdfs::is_directory(x / "z.txt"));
}

TEST_F(PackTest, FollowsCommandLineConventions) {
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string inOut;
    std::string inErr;
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: pagimor-pack create", ""},
      {{"create", "--help"}, 0, "Usage: pagimor-pack create [--viewer VIEWER] [-o BOOK] FOLDER\n\n", ""},
      {{"extract", "b", "-h"}, 0, "Usage: pagimor-pack extract BOOK DIR\n\n", ""},
      {{"help", "verify"}, 0, "Usage: pagimor-pack verify BOOK\n\n", ""},
      {{"frob", "--help"}, 2, "", "unknown command 'frob'"},
      {{"--version"}, 0, "pagimor-pack 1.11", ""},
      {{}, 2, "", "pagimor-pack: no command given"},
      {{"frob"}, 2, "", "unknown command 'frob'"},
      {{"create"}, 2, "", "'create' takes one FOLDER"},
      {{"create", "-o"}, 2, "", "option -o needs a value"},
      {{"list", "-x", "b"}, 2, "", "unknown option -x"},
      {{"list", "-o", "z", "b"}, 2, "", "go with 'create' only"},
      {{"extract", "b"}, 2, "", "'extract' takes a BOOK and a DIR"},
      {{"list", "/nonexistent/book"}, 1, "", "cannot open /nonexistent/book"},
      {{"create", "/nonexistent/folder", "-o", "/nonexistent/x"}, 1, "", "is not a folder"},
  };
  for (const Case& c : cases) {
    const PackRun run = Pack(c.args);
    EXPECT_EQ(run.exit, c.exit) << c.args.size();
    EXPECT_NE(run.out.find(c.inOut), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << run.err;
  }
}

// The default book lands in the current folder, named after FOLDER with the
// ending that fits the viewer, so that running from FOLDER's parent works.
TEST_F(PackTest, DefaultsToTheViewerBesideItAndTheFoldersName) {
  Put("index.html", "x");
  const PackRun linux = Pack({"create", "--viewer", "stub", "book/"}, dir_.path());
  EXPECT_EQ(linux.exit, 0) << linux.err;
  EXPECT_TRUE(stdfs::is_regular_file(dir_ / "book.run"));
  WriteFile(dir_ / "stub", "MZ windows viewer");
  const PackRun windows = Pack({"create", "--viewer", "stub", "book"}, dir_.path());
  EXPECT_EQ(windows.exit, 0) << windows.err;
  EXPECT_EQ(ReadFile(dir_ / "book.exe").substr(0, 17), "MZ windows viewer");

  stdfs::create_directory(dir_ / "elsewhere");
  const PackRun beside = Pack({"create", (dir_ / "book").string()}, dir_ / "elsewhere");
  if (stdfs::exists(BuiltProgram("pagimor"))) {
    EXPECT_EQ(beside.exit, 0) << beside.err;
    EXPECT_TRUE(stdfs::exists(dir_ / "elsewhere" / "book.run"));
  } else {
    EXPECT_EQ(beside.exit, 1);
    EXPECT_NE(beside.err.find("name one with --viewer"), std::string::npos) << beside.err;
  }
}

// A book written over its viewer, into its own folder or over something that
// is not a file would break the next run or lose what stood there.
TEST_F(PackTest, RefusesABookThatWouldReplaceItsInputs) {
  Put("index.html", "x");
  stdfs::create_directory_symlink(dir_ / "book", dir_ / "alias");
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const std::string stub = ReadFile(dir_ / "stub");
  struct Case {
    std::string what;
    std::vector<std::string> args;
    stdfs::path cwd;
    std::string message;
  };
  const std::string viewer = (dir_ / "stub").string();
  const std::string folder = (dir_ / "book").string();
  const Case cases[] = {
      {"inside the folder", {"create", "--viewer", viewer, "-o", folder + "/b.run", folder}, {}, "inside the folder"},
      {"inside, spelt through a link", {"create", "--viewer", viewer, "-o", (dir_ / "alias" / "b.run").string(), folder},
       {}, "inside the folder"},
      {"default name from inside", {"create", "--viewer", viewer, "."}, dir_ / "book", "book.run\" would be inside"},
      {"the viewer", {"create", "--viewer", viewer, "-o", viewer, folder}, {}, "is the viewer"},
      {"the viewer, spelt otherwise", {"create", "--viewer", viewer, "-o", folder + "/../stub", folder}, {},
       "is the viewer"},
      {"a fifo", {"create", "--viewer", viewer, "-o", (dir_ / "fifo").string(), folder}, {}, "is not a regular file"},
  };
  for (const Case& c : cases) {
    const PackRun run = Pack(c.args, c.cwd);
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_EQ(ReadFile(dir_ / "stub"), stub) << c.what;
    EXPECT_EQ(std::distance(stdfs::directory_iterator(dir_ / "book"), stdfs::directory_iterator()), 1) << c.what;
    EXPECT_EQ(stdfs::symlink_status(dir_ / "fifo").type(), stdfs::file_type::fifo) << c.what;
  }
}

TEST_F(PackTest, VerifySaysWhatIsWrong) {
  struct Case {
    std::string what;
    std::string bytes;
    std::string message;
  };
  const Entry index = NamedEntry(u"index.html", "<p/>");
  const Entry other = NamedEntry(u"a.txt", "a");
  const Case cases[] = {
      {"no archive", "just a program", "no book archive found"},
      {"count too small", Archive("1", {other, index}), "but more entries follow"},
      {"count too large", Archive("3", {other, index}), "entry 3: the name cannot be read"},
      {"bad count", Archive("x", {index}), "the file count \"x\" is not a number"},
      {"no index", Archive("1", {other}), "there is no index.html"},
      {"lower-case hex", Archive("1", {{"0069006e006400650078002e00680074006d006c", "x"}}), "upper-case hex"},
      {"duplicate", Archive("2", {index, index}), "the name stands twice"},
      {"hostile name", Archive("2", {NamedEntry(u"../evil", "x"), index}), "entry 1: the name cannot be read"},
      {"name too long for Linux", Archive("2", {NamedEntry(std::u16string(200, u'\u00E9'), "x"), index}),
       "entry 1: the name cannot be read"},
      {"unclosed", Archive("1", {index}).substr(0, Archive("1", {index}).size() - 1), "no marker closes its data"},
      {"end marker in last", Archive("1", {NamedEntry(u"index.html", "a" + EndMarker() + "b")}),
       "bytes follow the end-of-archive marker"},
      {"terminator before archive", "MZ" + Terminator() + Archive("1", {index}, ""), "holds an entry terminator"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "bad", c.bytes);
    const PackRun run = Pack({"verify", (dir_ / "bad").string()});
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
  }
}

}  // namespace
}  // namespace pagimor::test
