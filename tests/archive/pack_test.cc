// The packer as its users run it: a real process, its exit code, its
// messages and the files it leaves. The same cases run on Windows, where a
// few cannot be arranged at all (each says why it is left out there).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "support.h"

#if defined(_WIN32)
#include "platform/win32/handles.h"
#include "platform/win32/path.h"
#include "platform/win32/winapi.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

constexpr bool kOnWindows =
#if defined(_WIN32)
    true;
#else
    false;
#endif

// Paths as the packer's command line carries them: UTF-8 text, which a
// Windows path's narrow form (the ANSI code page) is not.
#if defined(_WIN32)
std::string Utf8(const stdfs::path& path) { return win32::WideToUtf8(path.native()); }
stdfs::path PathOf(const std::string& utf8) { return stdfs::path(win32::Utf8ToWide(utf8)); }
std::string ProgramFile(const std::string& name) { return name + ".exe"; }
#else
std::string Utf8(const stdfs::path& path) { return path.native(); }
stdfs::path PathOf(const std::string& utf8) { return stdfs::path(utf8); }
std::string ProgramFile(const std::string& name) { return name; }
#endif

struct PackRun {
  int exit = -1;
  std::string out;
  std::string err;
};

#if defined(_WIN32)
// One argument as the C runtime splits a command line back into argv:
// quoted, with backslashes doubled only where they stand before a quote.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

int Spawn(const std::vector<std::string>& argv, const stdfs::path& cwd, const stdfs::path& out,
          const stdfs::path& err) {
  std::wstring line;
  for (const std::string& arg : argv) line += (line.empty() ? L"" : L" ") + Quoted(win32::Utf8ToWide(arg));
  SECURITY_ATTRIBUTES inherit{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
  const auto open = [&inherit](const stdfs::path& path) {
    return win32::UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  const win32::UniqueHandle outFile = open(out);
  const win32::UniqueHandle errFile = open(err);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outFile.get();
  startup.hStdError = errFile.get();
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.empty() ? nullptr : cwd.c_str(),
                        &startup, &process)) {
    return -1;
  }
  const win32::UniqueHandle owned(process.hProcess);
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

// The C runtime writes text with CR LF; the cases compare lines.
std::string Lines(std::string text) {
  std::erase(text, '\r');
  return text;
}
#else
int Spawn(const std::vector<std::string>& argv, const stdfs::path& cwd, const stdfs::path& out,
          const stdfs::path& err) {
  std::vector<std::string> args = argv;
  std::vector<char*> cargs;
  for (std::string& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  int exit = -1;
  if (posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  return exit;
}

std::string Lines(std::string text) { return text; }
#endif

PackRun Pack(const std::vector<std::string>& args, const stdfs::path& cwd = {}) {
  ScratchDir io;
  std::vector<std::string> argv = {Utf8(BuiltProgram(ProgramFile("pagimor-pack")))};
  argv.insert(argv.end(), args.begin(), args.end());
  PackRun run;
  run.exit = Spawn(argv, cwd, io / "out", io / "err");
  run.out = Lines(ReadFile(io / "out"));
  run.err = Lines(ReadFile(io / "err"));
  return run;
}

// The headers of a 64-bit Windows program as far as a signature concerns
// them: the MZ header pointing at "PE\0\0", the file header, and an optional
// header with all sixteen data directories, the security entry among them.
constexpr std::size_t kPeHeader = 0x40;
constexpr std::size_t kSecurityEntry = kPeHeader + 24 + 112 + 4 * 8;

void PutNumber(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xFF);
}

std::string MiniPe() {
  std::string pe(kPeHeader + 24 + 240, '\0');
  pe[0] = 'M', pe[1] = 'Z';
  PutNumber(pe, 0x3C, kPeHeader, 4);
  pe.replace(kPeHeader, 4, std::string("PE\0\0", 4));
  PutNumber(pe, kPeHeader + 20, 240, 2);      // size of the optional header
  PutNumber(pe, kPeHeader + 24, 0x20B, 2);    // PE32+
  PutNumber(pe, kPeHeader + 24 + 108, 16, 4);  // data directories
  return pe;
}

// A certificate table of one entry, PKCS #7 signed data of the given
// length, padded to 8 bytes.
std::string CertificateTable(std::size_t payload) {
  std::string table(8, '\0');
  PutNumber(table, 0, static_cast<std::uint32_t>(8 + payload), 4);
  PutNumber(table, 4, 0x0200, 2);
  PutNumber(table, 6, 0x0002, 2);
  table += std::string(payload, '\x30');
  table.resize((table.size() + 7) / 8 * 8, '\0');
  return table;
}

// What a signing tool does to a program: zeros up to 8-byte alignment, the
// table, the security entry pointing at it, and a fresh checksum.
std::string Signed(std::string program, std::size_t payload = 1000) {
  program.resize((program.size() + 7) / 8 * 8, '\0');
  PutNumber(program, kPeHeader + 24 + 64, 0x2BAD, 4);
  const std::string table = CertificateTable(payload);
  PutNumber(program, kSecurityEntry, static_cast<std::uint32_t>(program.size()), 4);
  PutNumber(program, kSecurityEntry + 4, static_cast<std::uint32_t>(table.size()), 4);
  return program + table;
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stdfs::create_directory(dir_ / "book");
    WriteFile(dir_ / "stub", ViewerStub());
    stdfs::permissions(dir_ / "stub", stdfs::perms(0755));
  }
  void Put(const std::string& name, std::string_view data) {
    stdfs::create_directories((dir_ / "book" / PathOf(name)).parent_path());
    WriteFile(dir_ / "book" / PathOf(name), data);
  }
  PackRun Create(const std::string& out = "out.book") {
    return Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(dir_ / out), Utf8(dir_ / "book")});
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
      WriteFile(work / "in" / PathOf(files.back().first), files.back().second);
    }
    const PackRun created =
        Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(work / "b"), Utf8(work / "in")});
    ASSERT_EQ(created.exit, 0) << created.err;
    const PackRun extracted = Pack({"extract", Utf8(work / "b"), Utf8(work / "out" / "deep")});
    ASSERT_EQ(extracted.exit, 0) << extracted.err;
    std::size_t count = 0;
    for (const auto& e : stdfs::directory_iterator(work / "out" / "deep")) {
      (void)e;
      ++count;
    }
    EXPECT_EQ(count, files.size());
    for (const auto& [name, data] : files) EXPECT_EQ(ReadFile(work / "out" / "deep" / PathOf(name)), data) << name;
    const PackRun verified = Pack({"verify", Utf8(work / "b")});
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
  EXPECT_EQ(book, Sealed(expected));
  // Windows keeps access rules, not permission bits.
  if (!kOnWindows) {
    EXPECT_EQ(stdfs::status(dir_ / "out.book").permissions(), stdfs::perms(0755));
  }
  // The same folder and viewer give the same bytes; -oBOOK names the book too.
  ASSERT_EQ(Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o" + Utf8(dir_ / "again.book"), Utf8(dir_ / "book")})
                .exit,
            0);
  EXPECT_EQ(ReadFile(dir_ / "again.book"), book);
  EXPECT_EQ(Leftovers().size(), 2u);
}

TEST_F(PackTest, ListsNamesSizesAndTotal) {
  Put("index.html", "12345");
  Put("b.txt", "");
  ASSERT_EQ(Create().exit, 0);
  const PackRun run = Pack({"list", Utf8(dir_ / "out.book")});
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.out,
            "           0  b.txt\n           5  index.html\n           5  bytes in 2 files\nSHA-256 digest: holds\n");
}

TEST_F(PackTest, PutsLastAFileWithoutTheEndMarker) {
  Put("index.html", "<p>index</p>");
  Put("zz.bin", "data " + EndMarker() + " more");  // would be last in name order
  ASSERT_EQ(Create().exit, 0);
  EXPECT_EQ(Pack({"verify", Utf8(dir_ / "out.book")}).exit, 0);
  ASSERT_EQ(Pack({"extract", Utf8(dir_ / "out.book"), Utf8(dir_ / "x")}).exit, 0);
  EXPECT_EQ(ReadFile(dir_ / "x" / "zz.bin"), "data " + EndMarker() + " more");
}

TEST_F(PackTest, RefusesWhatABookCannotCarry) {
  struct Case {
    std::string what;
    std::function<void()> arrange;
    std::string message;
    // Names and kinds of file that Windows cannot make in the first place.
    bool posixOnly = false;
  };
  const stdfs::path book = dir_ / "book";
  const Case cases[] = {
      {"link to a file outside", [&] { Put("index.html", "x"), stdfs::create_symlink("/etc/passwd", book / "pw"); },
       "pw\": is a symbolic link to \"/etc/passwd\"", true},
      {"link to a folder inside", [&] {
         Put("index.html", "x"), Put("img/a.gif", "a"), stdfs::create_directory_symlink(book / "img", book / "pics");
       },
       "pics\": is a symbolic link", true},
      {"broken link", [&] { Put("index.html", "x"), stdfs::create_symlink(book / "gone", book / "img.gif"); },
       "img.gif\": is a symbolic link", true},
      {"device name as a folder", [&] { Put("index.html", ""), Put("aux/a.png", ""); },
       "the path's component \"aux\": the name is a reserved device name", true},
      {"trailing dot on a folder", [&] { Put("index.html", ""), Put("img./a.png", ""); },
       "the path's component \"img.\": the name ends with a space or a dot", true},
      {"path too long", [&] { Put("index.html", ""), Put(std::string(200, 'd') + "/" + std::string(60, 'f'), ""); },
       "the name is longer than 255 UTF-16 units", true},
      {"too many over the tree", [&] {
         for (int i = 0; i < 999; ++i) Put("d" + std::to_string(i % 7) + "/f" + std::to_string(i), "");
         Put("index.html", "");
       },
       "holds 1000 files; a book holds at most 999 (counted in all its subfolders"},
      {"letter case across paths, Windows viewer", [&] {
         Put("index.html", ""), Put("Img/a.png", ""), Put("img/A.png", "");
         WriteFile(dir_ / "stub", ViewerStub(true));
       },
       "the names differ only in letter case", true},
      {"a file where a folder goes on Windows", [&] {
         Put("index.html", ""), Put("IMG", ""), Put("img/a.png", "");
         WriteFile(dir_ / "stub", ViewerStub(true));
       },
       "would stand where the folder has to be made", true},
      {"no index", [&] { Put("a.html", "x"); }, "has no index.html"},
      {"empty", [] {}, "is empty"},
      {"too many", [&] {
         for (int i = 0; i < 999; ++i) Put("f" + std::to_string(i), "");
         Put("index.html", "");
       },
       "holds 1000 files; a book holds at most 999"},
      {"device name", [&] { Put("index.html", ""), Put("con.txt", ""); }, "con.txt\": the name is a reserved device",
       true},
      {"forbidden char", [&] { Put("index.html", ""), Put("a:b", ""); }, "a:b\": the name holds a character", true},
      {"trailing dot", [&] { Put("index.html", ""), Put("x.", ""); }, "x.\": the name ends with a space or a dot",
       true},
      {"control char", [&] { Put("index.html", ""), Put("a\tb", ""); }, "the name holds a control character", true},
      {"not utf-8", [&] { Put("index.html", ""), Put("bad\xFF", ""); }, "the name is not valid UTF-8", true},
      {"letter case, Windows viewer", [&] {
         Put("index.html", ""), Put("Звук.wav", ""), Put("звук.wav", "");
         WriteFile(dir_ / "stub", ViewerStub(true));
       },
       "Звук.wav\" and \"" + Utf8(book / PathOf("звук.wav")) + "\": the names differ only in letter case",
       true},
      {"terminator in data", [&] { Put("index.html", "abc" + Terminator()); },
       "index.html\": holds the entry terminator at offset 3"},
      {"all hold the end marker", [&] { Put("index.html", EndMarker()), Put("b", EndMarker()); },
       "every file holds the end-of-archive marker"},
#if !defined(_WIN32)
      {"fifo", [&] { Put("index.html", ""), ::mkfifo((book / "pipe").c_str(), 0600); }, "pipe\": is not a regular file",
       true},
#endif
      {"viewer holds header", [&] { Put("index.html", ""), WriteFile(dir_ / "stub", ViewerStub(true, Header())); },
       "holds the header marker at offset 2"},
      {"viewer holds terminator",
       [&] { Put("index.html", ""), WriteFile(dir_ / "stub", ViewerStub(true, Terminator())); },
       "holds the entry terminator at offset 2"},
      {"2 GiB", [&] {
         Put("index.html", "");
         Put("huge", "");
         stdfs::resize_file(book / "huge", (std::uintmax_t{1} << 31) - 40);
       },
       "a book stays below 2 GiB"},
  };
  for (const Case& c : cases) {
    if (kOnWindows && c.posixOnly) continue;
    stdfs::remove_all(book);
    stdfs::create_directory(book);
    WriteFile(dir_ / "stub", ViewerStub());
    c.arrange();
    const PackRun run = Create();
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_TRUE(run.err.starts_with("pagimor-pack: ")) << c.what;
    EXPECT_TRUE(Leftovers().empty()) << c.what;
  }
}

// Names that differ only in letter case are one file on Windows, two on
// Linux: only a book for Windows must not carry both.
TEST_F(PackTest, LetterCaseMattersForWindowsBooksOnly) {
  const Entry index = NamedEntry(u"index.html", "<p/>");
  const std::vector<Entry> entries = {NamedEntry(u"Bild.PNG", "1"), NamedEntry(u"bild.png", "2"), index};
  WriteFile(dir_ / "linux", Archive("3", entries, "\x7F" "ELF"));
  const PackRun linux = Pack({"verify", Utf8(dir_ / "linux")});
  EXPECT_EQ(linux.exit, 0) << linux.err;
  WriteFile(dir_ / "windows", Archive("3", entries, "MZ"));
  const PackRun windows = Pack({"verify", Utf8(dir_ / "windows")});
  EXPECT_EQ(windows.exit, 1);
  EXPECT_NE(windows.err.find("entry 2 (bild.png): the name differs only in letter case from that of entry 1 "
                             "(Bild.PNG); on Windows the later file replaces the earlier"),
            std::string::npos)
      << windows.err;
  // Windows itself cannot hold both files in one folder.
  if (kOnWindows) return;
  Put("index.html", ""), Put("Bild.PNG", "1"), Put("bild.png", "2");
  EXPECT_EQ(Create().exit, 0);
}

#if !defined(_WIN32)
// A disk that fills up half-way: the run fails and leaves no file cut short.
// Windows has no small file system to fill here.
TEST_F(PackTest, AFullDiskLeavesNoPartialFile) {
  ScratchDir mnt;
  const SmallTmpfs tmpfs(mnt.path(), "64k");
  if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  Put("index.html", std::string(200000, 'x'));
  const PackRun created =
      Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(mnt / "book"), Utf8(dir_ / "book")});
  EXPECT_EQ(created.exit, 1);
  EXPECT_NE(created.err.find("No space left on device"), std::string::npos) << created.err;
  EXPECT_TRUE(stdfs::is_empty(mnt.path()));

  ASSERT_EQ(Create().exit, 0);
  const PackRun extracted = Pack({"extract", Utf8(dir_ / "out.book"), Utf8(mnt / "x")});
  EXPECT_EQ(extracted.exit, 1);
  EXPECT_NE(extracted.err.find("cannot write " + Utf8(mnt / "x" / "index.html")), std::string::npos)
      << extracted.err;
  EXPECT_TRUE(stdfs::is_empty(mnt / "x"));
}
#endif

// A book may take any name its system allows, the longest too: the hidden
// name it is written under first must fit wherever the book's own fits.
TEST_F(PackTest, WritesABookUnderTheLongestNameTheSystemAllows) {
  Put("index.html", "<p>long</p>");
  for (const std::size_t length : {240u, 250u, 255u}) {
    const std::string name(length, 'n');
    const PackRun created = Create(name);
    EXPECT_EQ(created.exit, 0) << length << ": " << created.err;
    EXPECT_TRUE(stdfs::is_regular_file(dir_ / name)) << length;
    EXPECT_EQ(Pack({"verify", Utf8(dir_ / name)}).exit, 0) << length;
    stdfs::remove(dir_ / name);
  }
}

#if !defined(_WIN32)
// The hidden files beside the target that a run writes the book into.
std::vector<std::string> Partials(const stdfs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".") && name.find(".partial-") != std::string::npos) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// A create started in the background, to be stopped from outside once it
// writes its book.
class BackgroundCreate {
 public:
  BackgroundCreate(const stdfs::path& stub, const stdfs::path& book, const stdfs::path& folder) {
    std::vector<std::string> args = {Utf8(BuiltProgram(ProgramFile("pagimor-pack"))), "create", "--viewer",
                                     Utf8(stub), "-o", Utf8(book), Utf8(folder)};
    std::vector<char*> cargs;
    for (std::string& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    if (posix_spawn(&pid_, cargs[0], nullptr, nullptr, cargs.data(), environ) != 0) pid_ = -1;
  }
  BackgroundCreate(const BackgroundCreate&) = delete;
  BackgroundCreate& operator=(const BackgroundCreate&) = delete;
  ~BackgroundCreate() {
    if (pid_ > 0) Stop(SIGKILL);
  }
  // Waits until the partial book is there; false when the run ended first.
  bool WaitForPartial(const stdfs::path& folder) const {
    for (int i = 0; i < 20000; ++i) {
      if (!Partials(folder).empty()) return true;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return false;
      ::usleep(500);
    }
    return false;
  }
  // Sends the signal; the status as a shell gives it.
  int Stop(int signal) {
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
};

// Big enough that the book is still being written when the test stops the
// run; sparse, so that it costs the disk nothing.
void PutLargeSparseFile(const stdfs::path& path) {
  WriteFile(path, "<html></html>");
  stdfs::resize_file(path, 300u << 20);
}

// Told to stop while it writes the book, the packer takes the partial book
// away, and it stops as the signal says.
TEST_F(PackTest, AnInterruptedCreateLeavesNoPartialBook) {
  PutLargeSparseFile(dir_ / "book" / "index.html");
  const stdfs::path out = dir_ / "out";
  stdfs::create_directory(out);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    BackgroundCreate run(dir_ / "stub", out / "quiz.run", dir_ / "book");
    ASSERT_TRUE(run.WaitForPartial(out)) << sigabbrev_np(signal);
    EXPECT_EQ(run.Stop(signal), 128 + signal) << sigabbrev_np(signal);
    EXPECT_TRUE(stdfs::is_empty(out)) << sigabbrev_np(signal);
  }
}

// A run killed outright cannot clean up: the next create of the same book
// removes what it left, and nothing else, whatever the length of the name.
TEST_F(PackTest, ACreateRemovesThePartialBookOfAKilledRunOfTheSameBook) {
  Put("index.html", "<p>small</p>");
  PutLargeSparseFile(dir_ / "large");
  const stdfs::path out = dir_ / "out";
  stdfs::create_directory(out);
  for (const std::string& name : {std::string("quiz.run"), std::string(255, 'q')}) {
    ScratchDir large;
    stdfs::copy_file(dir_ / "large", large / "index.html");
    {
      BackgroundCreate killed(dir_ / "stub", out / name, large.path());
      ASSERT_TRUE(killed.WaitForPartial(out)) << name.size();
      killed.Stop(SIGKILL);
    }
    const std::vector<std::string> stale = Partials(out);
    ASSERT_EQ(stale.size(), 1u) << name.size();
    // Another book's, a live run's (it holds its lock), and look-alikes.
    const std::string other = ".other.run" + stale[0].substr(stale[0].find(".partial-"));
    const std::string live = stale[0].substr(0, stale[0].size() - 6) + "Live01";
    const std::vector<std::string> kept = {other, live, stale[0].substr(1), stale[0].substr(0, stale[0].size() - 1) + "-"};
    for (const std::string& keep : kept) WriteFile(out / keep, "keep");
    const int held = ::open((out / live).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    const PackRun created =
        Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(out / name), Utf8(dir_ / "book")});
    ::close(held);
    EXPECT_EQ(created.exit, 0) << created.err;
    EXPECT_FALSE(stdfs::exists(out / stale[0])) << name.size();
    for (const std::string& keep : kept) EXPECT_EQ(ReadFile(out / keep), "keep") << keep;
    for (const std::string& keep : kept) stdfs::remove(out / keep);
    stdfs::remove(out / name);
  }
}
#endif

#if !defined(_WIN32)
// Linux paths are bytes: a folder, a book and a folder to extract into whose
// names are not UTF-8 are used exactly as given, and a file whose name
// differs from them only where their bytes are not UTF-8 is left alone.
TEST_F(PackTest, TakesPathsThatAreNotUtf8ByteForByte) {
  const stdfs::path folder = dir_ / "Qu\xe9" "bec";
  stdfs::create_directory(folder);
  WriteFile(folder / "index.html", "<p>x</p>");
  WriteFile(folder / "a.txt", "a");
  const stdfs::path books = dir_ / "B\xfc" "cher";
  stdfs::create_directory(books);
  WriteFile(books / "b\xef\xbf\xbd.run", "someone else's");
  const stdfs::path book = books / "b\xff.run";
  const PackRun created = Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(book), Utf8(folder)});
  ASSERT_EQ(created.exit, 0) << created.err;
  EXPECT_TRUE(stdfs::is_regular_file(book));
  EXPECT_EQ(ReadFile(books / "b\xef\xbf\xbd.run"), "someone else's");

  const PackRun listed = Pack({"list", Utf8(book)});
  EXPECT_EQ(listed.exit, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "           1  a.txt\n           8  index.html\n           9  bytes in 2 files\nSHA-256 digest: holds\n");
  const PackRun extracted = Pack({"extract", Utf8(book), Utf8(dir_ / "x\xfe")});
  ASSERT_EQ(extracted.exit, 0) << extracted.err;
  EXPECT_EQ(ReadFile(dir_ / "x\xfe" / "a.txt"), "a");
  EXPECT_FALSE(stdfs::exists(dir_ / "x\xef\xbf\xbd"));

  // The book's default name is the folder's, bytes and all.
  const PackRun named = Pack({"create", "--viewer", Utf8(dir_ / "stub"), Utf8(folder)}, books);
  ASSERT_EQ(named.exit, 0) << named.err;
  EXPECT_TRUE(stdfs::is_regular_file(books / "Qu\xe9" "bec.run"));
}
#endif

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
  const PackRun linked = Pack({"extract", Utf8(dir_ / "out.book"), Utf8(x)});
  EXPECT_EQ(linked.exit, 0) << linked.err;
  EXPECT_EQ(ReadFile(dir_ / "victim"), "keep");
  EXPECT_EQ(ReadFile(x / "index.html"), "<p>new</p>");

  stdfs::remove(x / "z.txt");
  stdfs::create_directory(x / "z.txt");
  const PackRun blocked = Pack({"extract", Utf8(dir_ / "out.book"), Utf8(x)});
  EXPECT_EQ(blocked.exit, 1);
  EXPECT_NE(blocked.err.find("cannot write " + Utf8(x / "z.txt") + ": a folder of that name is in the way"),
            std::string::npos)
      << blocked.err;
  EXPECT_TRUE(stdfs::is_directory(x / "z.txt"));
}

// Folders, books and viewers named outside every 8-bit code page: on
// Windows they come through the wide command line and the wide file calls.
TEST_F(PackTest, TakesPathsOutsideTheAnsiCodePage) {
  const std::string folder = "Bücher звук 図";
  stdfs::create_directory(dir_.path() / PathOf(folder));
  WriteFile(dir_.path() / PathOf(folder) / "index.html", "<p>x</p>");
  WriteFile(dir_.path() / PathOf(folder) / PathOf("Ωμέγα.txt"), "w");
  WriteFile(dir_.path() / PathOf("Просмотр.exe"), ViewerStub(true));
  const PackRun created = Pack({"create", "--viewer", "Просмотр.exe", folder}, dir_.path());
  ASSERT_EQ(created.exit, 0) << created.err;
  const std::string book = Utf8(dir_.path() / PathOf(folder + ".exe"));
  EXPECT_EQ(Pack({"list", book}).out,
            "           8  index.html\n           1  Ωμέγα.txt\n           9  bytes in 2 files\n"
            "SHA-256 digest: holds\n");
  const PackRun extracted = Pack({"extract", book, Utf8(dir_.path() / PathOf("aus ä"))});
  ASSERT_EQ(extracted.exit, 0) << extracted.err;
  EXPECT_EQ(ReadFile(dir_.path() / PathOf("aus ä") / PathOf("Ωμέγα.txt")), "w");
}

TEST_F(PackTest, FollowsCommandLineConventions) {
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string inOut;
    std::string inErr;
  };
  std::vector<Case> cases = {
      {{"--help"}, 0, "Usage: pagimor-pack create", ""},
      {{"create", "--help"}, 0,
       "Usage: pagimor-pack create [--for SYSTEM] [--viewer VIEWER] [-o BOOK] [-q]\n"
       "                           [--exclude PATTERN]... FOLDER\n\n",
       ""},
      {{"create", "--help"}, 0, "Always left out, at any depth: .git, .hg, .svn", ""},
      {{"extract", "b", "-h"}, 0, "Usage: pagimor-pack extract [-q] BOOK DIR\n\n", ""},
      {{"help", "verify"}, 0, "Usage: pagimor-pack verify BOOK\n\n", ""},
      {{"frob", "--help"}, 2, "", "unknown command 'frob'"},
      {{"--version"}, 0, "pagimor-pack 1.11", ""},
      {{}, 2, "", "pagimor-pack: no command given"},
      {{"frob"}, 2, "", "unknown command 'frob'"},
      {{"create"}, 2, "", "'create' takes one FOLDER"},
      {{"create", "-o"}, 2, "", "option -o needs a value"},
      {{"create", "--viewer"}, 2, "", "option --viewer needs a value\nTry 'pagimor-pack create --help'.\n"},
      {{"--viewer", "v", "extract", "--bogus"}, 2, "", "Try 'pagimor-pack extract --help'."},
      {{"list", "-q", "b"}, 2, "", "--quiet goes with 'create' and 'extract' only"},
      {{"preview", "--help"}, 0, "Usage: pagimor-pack preview", ""},
      {{"list", "-x", "b"}, 2, "", "unknown option -x"},
      {{"list", "-o", "z", "b"}, 2, "", "go with 'create' and 'preview' only"},
      {{"extract", "b"}, 2, "", "'extract' takes a BOOK and a DIR"},
      {{"list", "/nonexistent/book"}, 1, "", "cannot open /nonexistent/book"},
      // Taken as a name, never expanded to the files it matches.
      {{"list", "*"}, 1, "", "cannot open *"},
      {{"create", "/nonexistent/folder", "-o", "/nonexistent/x"}, 1, "", "is not a folder"},
  };
  // A book or viewer that is no file is refused at once: reading one would
  // wait for a writer, or for the reader at the console, for ever.
  Put("index.html", "x");
#if defined(_WIN32)
  for (const std::string device : {"NUL", "CON", "CONIN$"}) {
    cases.push_back({{"list", device}, 1, "", "cannot open " + device + ": "});
    cases.push_back({{"create", "--viewer", device, "-o", "b.exe", "book"}, 1, "", "cannot open the viewer"});
  }
#else
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  cases.push_back({{"list", "fifo"}, 1, "", "cannot open fifo: is not a regular file"});
  cases.push_back({{"create", "--viewer", "fifo", "-o", "b.run", "book"}, 1, "",
                   "cannot open the viewer \"fifo\": is not a regular file"});
  cases.push_back({{"verify", "/dev/zero"}, 1, "", "cannot open /dev/zero: is not a regular file"});
#endif
  cases.push_back({{"extract", "book", "x"}, 1, "", "cannot open book: is a folder"});
  for (const Case& c : cases) {
    const PackRun run = Pack(c.args, dir_.path());
    std::string line;
    for (const std::string& arg : c.args) line += " " + arg;
    EXPECT_EQ(run.exit, c.exit) << line;
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
  WriteFile(dir_ / "stub", ViewerStub(true, " windows viewer"));
  const PackRun windows = Pack({"create", "--viewer", "stub", "book"}, dir_.path());
  EXPECT_EQ(windows.exit, 0) << windows.err;
  EXPECT_EQ(ReadFile(dir_ / "book.exe").substr(0, 17), "MZ windows viewer");

  stdfs::create_directory(dir_ / "elsewhere");
  const PackRun beside = Pack({"create", Utf8(dir_ / "book")}, dir_ / "elsewhere");
  if (stdfs::exists(BuiltProgram(ProgramFile("pagimor")))) {
    EXPECT_EQ(beside.exit, 0) << beside.err;
  } else {
    EXPECT_EQ(beside.exit, 1);
    EXPECT_NE(beside.err.find("viewer (" + ProgramFile("pagimor") + ") found at "), std::string::npos) << beside.err;
    EXPECT_NE(beside.err.find("name one with --viewer"), std::string::npos) << beside.err;
  }
}

// A book written over its viewer, into its own folder or over something that
// is not a file would break the next run or lose what stood there.
TEST_F(PackTest, RefusesABookThatWouldReplaceItsInputs) {
  Put("index.html", "x");
  const std::string stub = ReadFile(dir_ / "stub");
  struct Case {
    std::string what;
    std::vector<std::string> args;
    stdfs::path cwd;
    std::string message;
  };
  const std::string viewer = Utf8(dir_ / "stub");
  const std::string folder = Utf8(dir_ / "book");
  std::vector<Case> cases = {
      {"inside the folder", {"create", "--viewer", viewer, "-o", folder + "/b.run", folder}, {}, "inside the folder"},
      {"default name from inside", {"create", "--viewer", viewer, "."}, dir_ / "book", "book.run\" would be inside"},
      {"the viewer", {"create", "--viewer", viewer, "-o", viewer, folder}, {}, "is the viewer"},
      {"the viewer, spelt otherwise", {"create", "--viewer", viewer, "-o", folder + "/../stub", folder}, {},
       "is the viewer"},
  };
#if defined(_WIN32)
  // Windows names ignore letter case, and take either separator.
  cases.push_back({"the viewer, in capitals", {"create", "--viewer", viewer, "-o", Utf8(dir_ / "STUB"), folder}, {},
                   "is the viewer"});
  cases.push_back({"inside, spelt with capitals and slashes",
                   {"create", "--viewer", viewer, "-o", Utf8(dir_ / "BOOK" / "b.exe"), folder}, {},
                   "inside the folder"});
  // Devices have these names in every folder.
  cases.push_back({"a device", {"create", "--viewer", viewer, "-o", "NUL", folder}, {}, "is a device on Windows"});
  cases.push_back({"a device, in a folder and with an ending",
                   {"create", "--viewer", viewer, "-o", Utf8(dir_ / "Com1.exe"), folder}, {},
                   "is a device on Windows"});
#else
  // Links to folders and FIFOs are for Windows a privilege and nothing.
  stdfs::create_directory_symlink(dir_ / "book", dir_ / "alias");
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  cases.push_back({"inside, spelt through a link",
                   {"create", "--viewer", viewer, "-o", Utf8(dir_ / "alias" / "b.run"), folder}, {},
                   "inside the folder"});
  cases.push_back({"a fifo", {"create", "--viewer", viewer, "-o", Utf8(dir_ / "fifo"), folder}, {},
                   "is not a regular file"});
#endif
  for (const Case& c : cases) {
    const PackRun run = Pack(c.args, c.cwd);
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_EQ(ReadFile(dir_ / "stub"), stub) << c.what;
    EXPECT_EQ(std::distance(stdfs::directory_iterator(dir_ / "book"), stdfs::directory_iterator()), 1) << c.what;
#if !defined(_WIN32)
    EXPECT_EQ(stdfs::symlink_status(dir_ / "fifo").type(), stdfs::file_type::fifo) << c.what;
#endif
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
  const std::string book = Archive("1", {index}, MiniPe());
  const std::string table = CertificateTable(100);
  const std::size_t signedAt = (book.size() + 7) / 8 * 8;
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
      // Bytes after the archive that only look like a signature from afar.
      {"a table the security entry does not name", book + table, "112 bytes follow the end-of-archive marker"},
      {"a signature followed by more", Signed(book) + "x", "bytes follow the end-of-archive marker"},
      {"no certificate where the entry points", Signed(book).replace(signedAt + 4, 2, "\x01\x03"),
       "bytes follow the end-of-archive marker"},
      {"a signature not at the end of the program", Signed(MiniPe()) + Archive("1", {index}, ""),
       "the viewer's signature lies before the archive"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "bad", c.bytes);
    const PackRun run = Pack({"verify", Utf8(dir_ / "bad")});
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    // A refused name is told once, with its entry, not again in the
    // viewer's words.
    EXPECT_EQ(run.err.find("The included filename could not be read"), std::string::npos) << c.what << ": " << run.err;
  }
}

// A Windows book signed after packing: the reader stops at the end-of-archive
// marker and never sees the signature, and verify names it instead of
// taking it for stray bytes.
TEST_F(PackTest, ASignatureAfterTheArchiveIsPartOfASoundBook) {
  const std::string packed = Archive("2", {NamedEntry(u"a.txt", "abc"), NamedEntry(u"index.html", "<p/>")}, MiniPe());
  for (const std::size_t payload : {std::size_t{1000}, std::size_t{1001}}) {  // padded to 8, or not
    WriteFile(dir_ / "signed.exe", Signed(packed, payload));
    const PackRun verified = Pack({"verify", Utf8(dir_ / "signed.exe")});
    EXPECT_EQ(verified.exit, 0) << verified.err;
    EXPECT_NE(verified.out.find("a sound book of 2 files, 7 bytes of data, without a SHA-256 digest, signed (a certificate table of " +
                                std::to_string(CertificateTable(payload).size()) + " bytes follows it)"),
              std::string::npos)
        << verified.out;
    EXPECT_EQ(Pack({"list", Utf8(dir_ / "signed.exe")}).out,
              "           3  a.txt\n           4  index.html\n           7  bytes in 2 files\n"
              "SHA-256 digest: none (the book does not check itself)\n");
    ASSERT_EQ(Pack({"extract", Utf8(dir_ / "signed.exe"), Utf8(dir_ / "x")}).exit, 0);
    EXPECT_EQ(ReadFile(dir_ / "x" / "index.html"), "<p/>");
  }
}

// A signed viewer goes into the book without its signature, which the
// archive after it would break: the book is an unsigned program that can
// be signed afresh.
TEST_F(PackTest, ASignedViewerIsPackedWithoutItsSignature) {
  const std::string viewer = MiniPe() + "code" + ViewerTag();
  WriteFile(dir_ / "stub", Signed(viewer));
  Put("index.html", "<p/>");
  ASSERT_EQ(Create().exit, 0);
  std::string expected = viewer;
  expected.resize((viewer.size() + 7) / 8 * 8, '\0');  // the signing tool's alignment stays, its checksum goes
  EXPECT_EQ(ReadFile(dir_ / "out.book"), Sealed(Archive("1", {NamedEntry(u"index.html", "<p/>")}, expected)));
  const PackRun verified = Pack({"verify", Utf8(dir_ / "out.book")});
  EXPECT_EQ(verified.exit, 0) << verified.err;
  EXPECT_EQ(verified.out.find("signed"), std::string::npos) << verified.out;
}

// A book checks itself: any byte of its archive changed, the trailer cut or
// damaged, and verify and list say the digest does not hold; bytes added
// after the trailer leave the digest whole but are named.
TEST_F(PackTest, ASealedBookSaysWhenItWasChanged) {
  // The digest is the library's SHA-256: a known answer first.
  EXPECT_EQ(Seal("abc"), "PAGIMOR-SHA256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");
  Put("index.html", "<p>hello</p>");
  Put("a.gif", SaltedData(7, 3000));
  ASSERT_EQ(Create().exit, 0);
  const std::string book = ReadFile(dir_ / "out.book");
  const std::size_t archive = book.find(Header());
  const std::size_t trailer = book.size() - 80;
  const PackRun sound = Pack({"verify", Utf8(dir_ / "out.book")});
  EXPECT_EQ(sound.exit, 0) << sound.err;
  EXPECT_NE(sound.out.find("its SHA-256 digest holds"), std::string::npos) << sound.out;

  struct Case {
    std::string what;
    std::string bytes;
    std::string message;
  };
  std::vector<Case> cases;
  for (const std::size_t at : {archive + 17, archive + 40, archive + 200, archive + 2000, trailer - 20, trailer - 1}) {
    std::string changed = book;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    cases.push_back({"byte " + std::to_string(at - archive) + " of the archive flipped", changed, "SHA-256"});
  }
  std::string digit = book;
  digit[trailer + 20] = digit[trailer + 20] == '0' ? '1' : '0';
  cases.push_back({"a digit of the digest changed", digit, "does not match its SHA-256 digest"});
  cases.push_back({"the trailer cut short", book.substr(0, book.size() - 1), "cut short or damaged"});
  cases.push_back({"cut inside the archive", book.substr(0, trailer - 100), "no marker closes its data"});
  cases.push_back({"extended", book + "more", "4 bytes follow the SHA-256 digest"});
  for (const Case& c : cases) {
    WriteFile(dir_ / "bad", c.bytes);
    const PackRun run = Pack({"verify", Utf8(dir_ / "bad")});
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
  }
  WriteFile(dir_ / "bad", cases.front().bytes);
  const PackRun listed = Pack({"list", Utf8(dir_ / "bad")});
  EXPECT_EQ(listed.exit, 1);
  EXPECT_NE(listed.out.find("SHA-256 digest: does not hold"), std::string::npos) << listed.out;
}

// A folder tree is packed whole, in the order of its paths, without what
// is left out by default or by --exclude; list shows the paths, and extract
// makes the tree again as any program would make it.
TEST_F(PackTest, PacksAWholeTreeWithoutWhatIsLeftOut) {
  const std::map<std::string, std::string> kept = {
      {"index.html", "<img src=img/a.gif>"},     {"img/a.gif", "A"},          {"img/deep/b.png", "BB"},
      {"css/site.css", "body{}"},                {"js/app.js", "go()"},        {"media/ü/звук.mp3", "CCC"},
      {"a.txt", "before img/ in byte order"},
  };
  for (const auto& [name, data] : kept) Put(name, data);
  for (const char* left : {".git/config", ".git/objects/ab/cd", "img/.DS_Store", "Thumbs.db", "css/desktop.ini",
                           "__MACOSX/._a.gif", ".svn/entries", ".hg/store", "src/art.psd", "raw/take1.wav",
                           "js/app.js.map", "docs/notes/x.md"}) {
    Put(left, "left out");
  }
  stdfs::create_directories(dir_ / "book" / "empty" / "er");
  const PackRun created = Pack({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(dir_ / "out.book"), "--exclude",
                                "*.psd", "--exclude=raw/", "--exclude", "**/*.map", "--exclude", "docs/*/x.md",
                                Utf8(dir_ / "book")});
  ASSERT_EQ(created.exit, 0) << created.err;
  const PackRun listed = Pack({"list", Utf8(dir_ / "out.book")});
  EXPECT_EQ(listed.out,
            "          25  a.txt\n           6  css/site.css\n           1  img/a.gif\n           2  img/deep/b.png\n"
            "          19  index.html\n           4  js/app.js\n           3  media/ü/звук.mp3\n"
            "          60  bytes in 7 files\nSHA-256 digest: holds\n");
  EXPECT_EQ(Pack({"verify", Utf8(dir_ / "out.book")}).exit, 0);

#if !defined(_WIN32)
  const mode_t umask = ::umask(027);
  ::umask(umask);
#endif
  ASSERT_EQ(Pack({"extract", Utf8(dir_ / "out.book"), Utf8(dir_ / "x")}).exit, 0);
  std::size_t count = 0;
  for (const auto& entry : stdfs::recursive_directory_iterator(dir_ / "x")) {
    if (!entry.is_regular_file()) continue;
    ++count;
    std::string name = Utf8(stdfs::relative(entry.path(), dir_ / "x"));
    std::replace(name.begin(), name.end(), '\\', '/');
    ASSERT_TRUE(kept.count(name) != 0) << name;
    EXPECT_EQ(ReadFile(entry.path()), kept.at(name)) << name;
#if !defined(_WIN32)
    EXPECT_EQ(static_cast<mode_t>(stdfs::status(entry.path()).permissions() & stdfs::perms::all), 0666 & ~umask);
    EXPECT_EQ(static_cast<mode_t>(stdfs::status(entry.path().parent_path()).permissions() & stdfs::perms::all),
              0777 & ~umask);
#endif
  }
  EXPECT_EQ(count, kept.size());

  // A link to a file inside the folder brings that file under its own name.
#if !defined(_WIN32)
  stdfs::create_symlink("img/a.gif", dir_ / "book" / "alias.gif");
  ASSERT_EQ(Create().exit, 0);
  const PackRun again = Pack({"list", Utf8(dir_ / "out.book")});
  EXPECT_NE(again.out.find("           1  alias.gif\n"), std::string::npos) << again.out;
#endif
}

// extract keeps the viewer's rules: a link in DIR where a folder of the
// book goes is not followed, and nothing lands outside DIR.
TEST_F(PackTest, ExtractNeverWritesThroughALink) {
  if (kOnWindows) GTEST_SKIP() << "links need a privilege on Windows";
  Put("index.html", "x");
  Put("img/a.gif", "A");
  ASSERT_EQ(Create().exit, 0);
  stdfs::create_directories(dir_ / "x");
  stdfs::create_directories(dir_ / "outside");
  stdfs::create_directory_symlink(dir_ / "outside", dir_ / "x" / "img");
  const PackRun run = Pack({"extract", Utf8(dir_ / "out.book"), Utf8(dir_ / "x")});
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.err.find("img/a.gif"), std::string::npos) << run.err;
  EXPECT_TRUE(stdfs::is_empty(dir_ / "outside"));
}

// verify names the entry and the rule it breaks.
TEST_F(PackTest, VerifySaysWhichEntryBreaksWhichPathRule) {
  const Entry index = NamedEntry(u"index.html", "<p/>");
  const std::pair<std::u16string, std::string> cases[] = {
      {u"img//a.gif", "the path holds an empty folder name (//)"},
      {u"/img/a.gif", "the path begins with /"},
      {u"img/", "the path ends with /"},
      {u"img/../../a.gif", "the path's component \"..\": the name is a folder reference"},
      {u"img/nul.png", "the path's component \"nul.png\": the name is a reserved device name on Windows"},
      {u"img\\a.gif", "the name holds a path separator"},
  };
  std::vector<Entry> all;
  for (const auto& [name, message] : cases) all.push_back(NamedEntry(name, "x"));
  all.push_back(index);
  WriteFile(dir_ / "bad", Archive(std::to_string(all.size()), all));
  const PackRun run = Pack({"verify", Utf8(dir_ / "bad")});
  EXPECT_EQ(run.exit, 1);
  // Every entry is told, with the rule it breaks.
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_NE(run.err.find("entry " + std::to_string(i + 1) +
                           ": the name cannot be read or is not a plain file name: \"" + ToUtf8(cases[i].first) +
                           "\": " + cases[i].second),
              std::string::npos)
        << run.err;
  }
  // extract refuses each of them alike, and writes nothing outside DIR.
  for (const auto& [name, message] : cases) {
    WriteFile(dir_ / "bad", Archive("2", {NamedEntry(name, "x"), index}));
    stdfs::remove_all(dir_ / "deep");
    const PackRun extracted = Pack({"extract", Utf8(dir_ / "bad"), Utf8(dir_ / "deep" / "x")});
    EXPECT_EQ(extracted.exit, 1) << message;
    EXPECT_NE(extracted.err.find(message), std::string::npos) << extracted.err;
    EXPECT_TRUE(stdfs::is_empty(dir_ / "deep" / "x")) << message;
    EXPECT_EQ(std::distance(stdfs::directory_iterator(dir_ / "deep"), stdfs::directory_iterator()), 1) << message;
  }
  // A Windows book whose file stands where another entry's folder goes.
  WriteFile(dir_ / "bad.exe", Archive("3", {NamedEntry(u"IMG", "x"), NamedEntry(u"img/a.gif", "y"), index}, MiniPe()));
  const PackRun windows = Pack({"verify", Utf8(dir_ / "bad.exe")});
  EXPECT_EQ(windows.exit, 1);
  EXPECT_NE(windows.err.find("entry 1 (IMG): on Windows the file stands where entry 2 (img/a.gif) needs a folder"),
            std::string::npos)
      << windows.err;
}


// Only a Pagimor viewer starts a book: anything else named as the viewer
// would make a book that cannot open, however sound its archive.
TEST_F(PackTest, RefusesAViewerThatIsNone) {
  Put("index.html", "<p/>");
  struct Case {
    std::string what;
    std::string bytes;
  };
  const Case refused[] = {
      {"a page", "<html><body>index</body></html>"},
      {"an empty file", ""},
      {"a Linux program of another kind", "\x7F" "ELF some other program"},
      {"a Windows program of another kind", "MZ some other program"},
      {"the tag in a script", "#!/bin/sh\n" + ViewerTag()},
  };
  for (const Case& c : refused) {
    WriteFile(dir_ / "stub", c.bytes);
    const PackRun run = Create();
    EXPECT_EQ(run.exit, 1) << c.what;
    EXPECT_NE(run.err.find("is not a Pagimor viewer"), std::string::npos) << c.what << ": " << run.err;
    EXPECT_TRUE(Leftovers().empty()) << c.what;
  }
  // The packer itself is no viewer either.
  const PackRun packer = Pack({"create", "--viewer", Utf8(BuiltProgram(ProgramFile("pagimor-pack"))), "-o",
                               Utf8(dir_ / "x"), Utf8(dir_ / "book")});
  EXPECT_NE(packer.err.find("is not a Pagimor viewer"), std::string::npos) << packer.err;
  // Real viewers, for this system and (when built) the other.
  std::vector<stdfs::path> viewers = {PAGIMOR_STAND_IN_VIEWER};
  for (const char* name : {"pagimor", "pagimor.exe"}) {
    if (stdfs::exists(BuiltProgram(name))) viewers.push_back(BuiltProgram(name));
  }
  for (const stdfs::path& viewer : viewers) {
    const PackRun run = Pack({"create", "--viewer", Utf8(viewer), "-o", Utf8(dir_ / "real"), Utf8(dir_ / "book")});
    EXPECT_EQ(run.exit, 0) << viewer.string() << ": " << run.err;
  }
}

// --for chooses the system; a viewer named for the other one is an error,
// not a quiet switch.
TEST_F(PackTest, ForTakesASystemThatTheViewerMustMatch) {
  Put("index.html", "<p/>");
  WriteFile(dir_ / "win", ViewerStub(true));
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string err;
  };
  const std::string linux = Utf8(dir_ / "stub");
  const std::string windows = Utf8(dir_ / "win");
  const Case cases[] = {
      {{"--for", "linux", "--viewer", linux}, 0, "a book for Linux"},
      {{"--for=WINDOWS", "--viewer", windows}, 0, "a book for Windows"},
      {{"--viewer", windows}, 0, "a book for Windows"},
      {{"--for", "windows", "--viewer", linux}, 1, "is the viewer for Linux, not for Windows"},
      {{"--for", "mac", "--viewer", linux}, 2, "--for takes linux or windows, not 'mac'"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"create"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"-o", Utf8(dir_ / "b"), Utf8(dir_ / "book")});
    const PackRun run = Pack(args);
    EXPECT_EQ(run.exit, c.exit) << c.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
}

// An installed packer takes the viewers from ../lib/pagimor/; a missing
// one is named with where it was looked for and how to get it.
TEST_F(PackTest, FindsTheViewersWhereTheyAreInstalled) {
  Put("index.html", "<p/>");
  stdfs::create_directories(dir_ / "usr" / "bin");
  stdfs::create_directories(dir_ / "usr" / "lib" / "pagimor");
  const stdfs::path packer = dir_ / "usr" / "bin" / ProgramFile("pagimor-pack");
  stdfs::copy_file(BuiltProgram(ProgramFile("pagimor-pack")), packer);
  const auto create = [&](const std::string& system) {
    ScratchDir io;
    PackRun run;
    run.exit = Spawn({Utf8(packer), "create", "--for", system, "-o", Utf8(dir_ / "b"), Utf8(dir_ / "book")}, {},
                     io / "out", io / "err");
    run.err = Lines(ReadFile(io / "err"));
    return run;
  };
  const PackRun missing = create("windows");
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find("no Windows viewer (pagimor.exe) found at " +
                             Utf8((dir_ / "usr" / "lib" / "pagimor" / "pagimor.exe").lexically_normal())),
            std::string::npos)
      << missing.err;
  EXPECT_NE(missing.err.find("cmake --preset win64"), std::string::npos) << missing.err;
  WriteFile(dir_ / "usr" / "lib" / "pagimor" / "pagimor.exe", ViewerStub(true, " installed "));
  WriteFile(dir_ / "usr" / "lib" / "pagimor" / "pagimor", ViewerStub(false, " installed "));
  for (const std::string system : {"windows", "linux"}) {
    const PackRun run = create(system);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(ReadFile(dir_ / "b").find(" installed "), std::string::npos) << system;
    EXPECT_EQ(ReadFile(dir_ / "b").substr(0, 2) == "MZ", system == "windows");
  }
}

#if !defined(_WIN32)
// A book runs whatever the bits of the viewer file (a downloaded viewer may
// have none): 0755 less the umask, never set-user or set-group.
TEST_F(PackTest, WritesTheBookRunnableLessTheUmask) {
  Put("index.html", "<p/>");
  struct Case {
    unsigned viewerMode;
    mode_t umask;
    unsigned bookMode;
  };
  const Case cases[] = {
      {0600, 022, 0755}, {0644, 027, 0750}, {06755, 022, 0755}, {0755, 077, 0700}, {0700, 0, 0755},
  };
  for (const Case& c : cases) {
    ::chmod((dir_ / "stub").c_str(), c.viewerMode);
    const mode_t before = ::umask(c.umask);
    const PackRun run = Create();
    ::umask(before);
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(static_cast<unsigned>(stdfs::status(dir_ / "out.book").permissions()), c.bookMode)
        << std::oct << c.viewerMode << " " << c.umask;
  }
}
#endif

#if !defined(_WIN32)
// What a run writes to stderr when that is a terminal: a pseudo-terminal
// here, read after the run.
std::string OnTerminal(const std::vector<std::string>& args) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "no pseudo-terminal";
  const std::string slave = ::ptsname(master);
  std::vector<std::string> argv = {Utf8(BuiltProgram("pagimor-pack"))};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (std::string& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, slave.c_str(), O_RDWR | O_NOCTTY, 0);
  pid_t pid = 0;
  std::string seen;
  if (posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ) == 0) {
    // Read while it runs, so that a full terminal never holds it up.
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got <= 0) break;  // EIO once the program has closed the terminal
      seen.append(buffer, static_cast<std::size_t>(got));
    }
    ::waitpid(pid, nullptr, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(master);
  return seen;
}

// Progress of a large book on a terminal, redrawn in place and wiped at the
// end; never in a file (every other case here reads stderr from a file),
// and never with -q.
TEST_F(PackTest, ShowsProgressOnATerminalOnly) {
  Put("index.html", "<p/>");
  Put("big.bin", std::string(std::size_t{17} << 20, 'x'));
  const std::string created = OnTerminal({"create", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(dir_ / "b"),
                                          Utf8(dir_ / "book")});
  EXPECT_NE(created.find("\rpagimor-pack: packing 2 of 2 files"), std::string::npos) << created;
  EXPECT_NE(created.find("pagimor-pack: wrote "), std::string::npos) << created;
  const std::string extracted = OnTerminal({"extract", Utf8(dir_ / "b"), Utf8(dir_ / "x")});
  EXPECT_NE(extracted.find("\rpagimor-pack: extracting 2 of 2 files"), std::string::npos) << extracted;
  EXPECT_EQ(OnTerminal({"create", "-q", "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(dir_ / "q"),
                        Utf8(dir_ / "book")}),
            "");
  EXPECT_EQ(OnTerminal({"extract", "--quiet", Utf8(dir_ / "b"), Utf8(dir_ / "y")}), "");
  const PackRun piped = Create();
  EXPECT_EQ(piped.err.find("packing"), std::string::npos) << piped.err;
}
#endif

// create says what it wrote, on stderr so that stdout stays clean; -q
// silences it. A missing index.html that stands in another letter case is
// named.
TEST_F(PackTest, SaysWhatItWroteUnlessQuiet) {
  Put("index.html", "<p/>");
  Put("a.txt", "abc");
  const PackRun said = Create();
  ASSERT_EQ(said.exit, 0) << said.err;
  EXPECT_EQ(said.out, "");
  EXPECT_EQ(said.err, "pagimor-pack: wrote " + Utf8(dir_ / "out.book") + ", a book for Linux: 2 files, " +
                          std::to_string(stdfs::file_size(dir_ / "out.book")) + " bytes\n");
  for (const std::string quiet : {"-q", "--quiet"}) {
    const PackRun run = Pack({"create", quiet, "--viewer", Utf8(dir_ / "stub"), "-o", Utf8(dir_ / "q"),
                              Utf8(dir_ / "book")});
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.err, "") << quiet;
  }
  // Made afresh: a rename that changes only the letter case may keep the
  // old name on a file system that ignores case.
  stdfs::remove(dir_ / "book" / "index.html");
  Put("Index.html", "<p/>");
  const PackRun index = Create();
  EXPECT_EQ(index.exit, 1);
  EXPECT_NE(index.err.find("has no index.html, the page a book opens on; it has Index.html, but"), std::string::npos)
      << index.err;
}

// Pages that the Windows viewer would show in its old compatibility mode
// are named by create and verify, for Windows books only, without failing.
TEST_F(PackTest, WarnsAboutPagesInTheOldModeInWindowsBooks) {
  Put("index.html", R"(<head><meta http-equiv="X-UA-Compatible" content="IE=edge"></head>)");
  Put("old.html", "<head><title>old</title></head>");
  Put("older.HTM", "<p>no head</p>");
  Put("style.css", "p {}");
  WriteFile(dir_ / "win", ViewerStub(true));
  const std::string warning = "its <head> has no <meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">, so the "
                              "Windows viewer shows it in an old compatibility mode";
  const auto warned = [&](const std::string& err) {
    std::vector<std::string> names;
    for (std::size_t at = 0; (at = err.find(": " + warning, at)) != std::string::npos; ++at) {
      const std::size_t start = err.find_last_of("/\\", at) + 1;
      names.push_back(err.substr(start, at - start));
    }
    return names;
  };
  const PackRun windows =
      Pack({"create", "--viewer", Utf8(dir_ / "win"), "-o", Utf8(dir_ / "w.exe"), Utf8(dir_ / "book")});
  EXPECT_EQ(windows.exit, 0);
  EXPECT_EQ(warned(windows.err), (std::vector<std::string>{"old.html", "older.HTM"})) << windows.err;
  const PackRun verified = Pack({"verify", Utf8(dir_ / "w.exe")});
  EXPECT_EQ(verified.exit, 0);
  EXPECT_EQ(warned(verified.err), (std::vector<std::string>{"w.exe: old.html", "w.exe: older.HTM"}))
      << verified.err;
  const PackRun linux = Create();
  EXPECT_EQ(linux.exit, 0);
  EXPECT_EQ(linux.err.find(warning), std::string::npos) << linux.err;
  EXPECT_EQ(Pack({"verify", Utf8(dir_ / "out.book")}).err, "");
}

// Sets an environment variable for the programs the test starts, and puts
// the old value back at the end.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  void Set(const char* value) {
#if defined(_WIN32)
    _putenv_s(name_, value != nullptr ? value : "");
#else
    if (value != nullptr) ::setenv(name_, value, 1); else ::unsetenv(name_);
#endif
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// preview packs into a private temporary folder, runs the book, waits for
// it, removes it and ends with its status; a folder that is no book leaves
// nothing behind either.
TEST_F(PackTest, PreviewRunsABookThatIsGoneAfterwards) {
  Put("index.html", R"(<head><meta http-equiv="X-UA-Compatible" content="IE=edge"></head>)");
  ScratchDir temp;
  const ScopedEnv tmpdir("TMPDIR", Utf8(temp.path()));
  const ScopedEnv tmp("TMP", Utf8(temp.path()));
  const ScopedEnv log("PAGIMOR_STAND_IN_LOG", Utf8(dir_ / "ran"));
  ScopedEnv exit("PAGIMOR_STAND_IN_EXIT", "0");
  for (const int status : {0, 3}) {
    exit.Set(std::to_string(status).c_str());
    stdfs::remove(dir_ / "ran");
    const PackRun run = Pack({"preview", "--viewer", Utf8(PAGIMOR_STAND_IN_VIEWER), Utf8(dir_ / "book")});
    EXPECT_EQ(run.exit, status) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string ran = ReadFile(dir_ / "ran");
    EXPECT_NE(ran.find("pagimor-preview-"), std::string::npos) << ran;
    EXPECT_NE(ran.find(kOnWindows ? "book.exe" : "book.run"), std::string::npos) << ran;
    EXPECT_TRUE(stdfs::is_empty(temp.path()));
  }
  stdfs::remove(dir_ / "book" / "index.html");
  const PackRun bad = Pack({"preview", "--viewer", Utf8(PAGIMOR_STAND_IN_VIEWER), Utf8(dir_ / "book")});
  EXPECT_EQ(bad.exit, 1);
  EXPECT_TRUE(stdfs::is_empty(temp.path()));
  const PackRun output = Pack({"preview", "-o", "x", Utf8(dir_ / "book")});
  EXPECT_EQ(output.exit, 2);
  EXPECT_NE(output.err.find("Try 'pagimor-pack preview --help'."), std::string::npos) << output.err;
}

#if !defined(_WIN32)
// An ending signal while the preview runs: sent to the packer alone it is
// passed on to the book; sent from the terminal to both, the packer leaves
// the book to end by itself. Either way the packer outlives the book, ends
// with its status and leaves no book behind.
TEST_F(PackTest, PreviewOutlivesItsBookWhenSignalled) {
  Put("index.html", R"(<head><meta http-equiv="X-UA-Compatible" content="IE=edge"></head>)");
  ScratchDir temp;
  const ScopedEnv tmpdir("TMPDIR", Utf8(temp.path()));
  const ScopedEnv log("PAGIMOR_STAND_IN_LOG", Utf8(dir_ / "ran"));
  const ScopedEnv seconds("PAGIMOR_STAND_IN_SECONDS", "30");
  struct Case {
    int signal;
    bool wholeGroup;
  };
  for (const Case c : {Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, true}, Case{SIGQUIT, true}}) {
    stdfs::remove(dir_ / "ran");
    std::vector<std::string> args = {Utf8(BuiltProgram("pagimor-pack")), "preview", "--viewer",
                                     PAGIMOR_STAND_IN_VIEWER, Utf8(dir_ / "book")};
    std::vector<char*> cargs;
    for (std::string& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);  // a group of its own, as a shell's job
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, cargs[0], nullptr, &attributes, cargs.data(), environ), 0);
    posix_spawnattr_destroy(&attributes);
    for (int i = 0; i < 200 && !stdfs::exists(dir_ / "ran"); ++i) ::usleep(50'000);
    ASSERT_TRUE(stdfs::exists(dir_ / "ran")) << "the book did not start";
    if (c.wholeGroup) {
      ::killpg(pid, c.signal);
    } else {
      ::kill(pid, c.signal);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "the packer itself ended by signal " << c.signal;
    EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
    EXPECT_TRUE(stdfs::is_empty(temp.path())) << c.signal;
  }
}
#endif

}  // namespace
}  // namespace pagimor::test
