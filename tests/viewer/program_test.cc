// The viewer as a reader runs it: a packed book on a real display, the bare
// viewer that carries no book, and a run told to end from outside.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "archive/support.h"

extern char** environ;

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A child process; killed if still there when the test ends. Each of
// changes is "NAME=value", which sets NAME, or a bare "NAME", which removes
// it from the environment. The signals in blocked start blocked in the child.
class Child {
 public:
  explicit Child(std::vector<std::string> argv, const std::vector<std::string>& changes = {},
                 const std::vector<int>& blocked = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry(*e);
      const std::string_view name = entry.substr(0, entry.find('='));
      const bool changed = std::any_of(changes.begin(), changes.end(), [&](const std::string& change) {
        return std::string_view(change).substr(0, change.find('=')) == name;
      });
      if (!changed) env.emplace_back(entry);
    }
    for (const std::string& change : changes) {
      if (change.find('=') != std::string::npos) env.push_back(change);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t mask;
    sigemptyset(&mask);
    for (const int signal : blocked) sigaddset(&mask, signal);
    posix_spawnattr_setsigmask(&attributes, &mask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    if (posix_spawnp(&pid_, args[0], nullptr, &attributes, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attributes);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  [[nodiscard]] bool started() const { return pid_ > 0; }

  void Signal(int signal) const { ::kill(pid_, signal); }

  // Asks the child to end and waits for it.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The exit status, or nothing when it did not end in time.
  std::optional<int> Wait(milliseconds limit) {
    const auto end = steady_clock::now() + limit;
    while (steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(milliseconds(50));
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
};

// A book, or the bare viewer, run with its own temporary directory.
class Reader : public Child {
 public:
  Reader(const stdfs::path& program, const stdfs::path& tmpdir, std::vector<std::string> changes = {})
      : Child({program.string()}, WithTmpDir(std::move(changes), tmpdir)) {}

 private:
  static std::vector<std::string> WithTmpDir(std::vector<std::string> changes, const stdfs::path& tmpdir) {
    changes.push_back("TMPDIR=" + tmpdir.string());
    return changes;
  }
};

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    ::pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<stdfs::path> Entries(const stdfs::path& dir) {
  std::vector<stdfs::path> found;
  for (const auto& entry : stdfs::directory_iterator(dir)) found.push_back(entry.path());
  return found;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    stdfs::create_directory(tmpdir_);
  }

  // Packs the files into a book with the packer, as an author would.
  stdfs::path Pack(const std::map<std::string, std::string>& files) {
    const stdfs::path source = dir_ / "source";
    stdfs::create_directory(source);
    for (const auto& [name, data] : files) {
      stdfs::create_directories((source / name).parent_path());
      WriteFile(source / name, data);
    }
    const stdfs::path book = dir_ / "book";
    const int status = std::system(("'" + std::string(PAGIMOR_PACK_PROGRAM) + "' create --viewer '" PAGIMOR_VIEWER_PROGRAM
                                    "' -o '" + book.string() + "' '" + source.string() + "' >/dev/null")
                                       .c_str());
    EXPECT_EQ(status, 0);
    return book;
  }

  // The book folder of the run, once it has been made.
  std::optional<stdfs::path> WaitForFolder(milliseconds limit) const {
    const auto end = steady_clock::now() + limit;
    while (steady_clock::now() < end) {
      for (const stdfs::path& entry : Entries(tmpdir_)) {
        if (entry.filename().string().starts_with("zel")) return entry;
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    return std::nullopt;
  }

  ScratchDir dir_;
  stdfs::path tmpdir_ = dir_ / "tmp";
};

// A page that stays until the reader closes the book.
const std::map<std::string, std::string> kStayingBook = {{"index.html", "<html><body>Stays</body></html>"},
                                                         {"picture.gif", "GIF89a"}};

// Waits until the viewer window of the book is on the display.
bool BookShown(const std::string& display = "") {
  const std::string env = display.empty() ? "" : "DISPLAY=" + display + " ";
  return !Shell(env + "timeout 30 xdotool search --sync --onlyvisible --name '^EBook$' | head -n 1").empty();
}

TEST_F(ProgramTest, BookShowsItsFilesAsPackedAndLeavesNothingBehind) {
  const std::map<std::string, std::string> files = {
      {"index.html",
       "<html><body><img src='img/picture.gif'><script>"
       "setTimeout(function(){location.href='about:blank';}, 2500);</script></body></html>"},
      {"img/picture.gif", SaltedData(7, 3000)},
      {"media/sounds/sound.wav", SaltedData(8, 70000)},
  };
  const stdfs::path book = Pack(files);

  Reader reader(book, tmpdir_);
  ASSERT_TRUE(reader.started());
  // While the page is shown every file stands in the book folder as packed.
  bool identical = false;
  const auto end = steady_clock::now() + milliseconds(15000);
  while (!identical && steady_clock::now() < end) {
    for (const stdfs::path& folder : Entries(tmpdir_)) {
      identical = folder.filename().string().starts_with("zel") && folder.filename().string().ends_with("VXEbook");
      for (const auto& [name, data] : files) {
        std::error_code error;
        identical = identical && stdfs::file_size(folder / name, error) == data.size() &&
                    ReadFile(folder / name) == data;
      }
    }
    if (!identical) std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_TRUE(identical);
  EXPECT_EQ(reader.Wait(milliseconds(20000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// Every path below home that the run left, one a line, but the caches that
// libraries below us keep for every program, not named after this one; GLib
// makes the cache folder itself when the session has no runtime folder.
std::string LeftInHome(const stdfs::path& home, const std::set<std::string>& before = {}) {
  const std::vector<std::string> theirs = {".cache", ".cache/fontconfig", ".cache/dconf", ".cache/mesa_shader_cache",
                                           ".cache/gstreamer-1.0"};
  std::string ours;
  for (const auto& entry : stdfs::recursive_directory_iterator(home)) {
    const std::string path = stdfs::relative(entry.path(), home).string();
    const bool library = std::any_of(theirs.begin(), theirs.end(), [&](const std::string& dir) {
      return path == dir || (dir != ".cache" && path.starts_with(dir + "/"));
    });
    if (!library && before.count(path) == 0) ours += path + "\n";
  }
  return ours;
}

// A run with a home of its own, where nothing of the session's applies.
std::vector<std::string> ScratchHome(const stdfs::path& home) {
  return {"HOME=" + home.string(), "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
          "XDG_DOWNLOAD_DIR"};
}

// What a page stores lives only as long as the run: the book leaves nothing
// in the reader's home, where the web engine would keep its caches and the
// page's storage under the program's name.
TEST_F(ProgramTest, PageStorageLeavesNothingInTheHome) {
  const stdfs::path home = dir_ / "home";
  stdfs::create_directory(home);
  // The page closes the book only once everything is stored.
  const stdfs::path book = Pack({
      {"index.html",
       "<html><body>Saving<script>"
       "localStorage.setItem('score', '7'); sessionStorage.setItem('seen', '1');"
       "document.cookie = 'answer=42';"
       "var request = indexedDB.open('quiz', 1);"
       "request.onupgradeneeded = function() { request.result.createObjectStore('answers'); };"
       "request.onsuccess = function() {"
       "  fetch('picture.gif').then(function() { location.href = 'about:blank'; },"
       "                              function() { location.href = 'about:blank'; });"
       "};</script><img src='picture.gif'></body></html>"},
      {"picture.gif", SaltedData(9, 2000)},
  });
  Reader reader(book, tmpdir_, ScratchHome(home));
  ASSERT_TRUE(reader.started());
  EXPECT_EQ(reader.Wait(milliseconds(20000)), std::optional<int>(0));
  EXPECT_EQ(LeftInHome(home), "");
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// A page cannot save files anywhere: downloads of every kind (a made-up
// blob, a data: address, a file of the book) write nothing, and a file of
// the reader's under the name a page asks for stays as it is.
TEST_F(ProgramTest, PageDownloadsWriteNothing) {
  const stdfs::path home = dir_ / "home";
  stdfs::create_directories(home / "Downloads");
  WriteFile(home / "notes.txt", "the reader's own notes");
  WriteFile(home / "Downloads" / "notes.txt", "the reader's own notes");
  const std::set<std::string> before = {"Downloads", "Downloads/notes.txt", "notes.txt"};
  const stdfs::path book = Pack({
      {"index.html",
       "<html><body>Downloads<script>"
       "function save(href, name) {"
       "  var a = document.createElement('a'); a.href = href; a.download = name;"
       "  document.body.appendChild(a); a.click(); }"
       // One at a time: the engine may drop a download that comes while
       // another one starts.
       "setTimeout(function() {"
       "  save(URL.createObjectURL(new Blob(['overwritten'], {type: 'text/plain'})), 'notes.txt'); }, 300);"
       "setTimeout(function() { save('data:text/plain,from%20data', 'data.txt'); }, 1000);"
       "setTimeout(function() { save('picture.gif', 'picture.gif'); }, 1700);"
       "setTimeout(function() { location.href = 'about:blank'; }, 4000);"
       "</script></body></html>"},
      {"picture.gif", SaltedData(10, 2000)},
  });
  Reader reader(book, tmpdir_, ScratchHome(home));
  ASSERT_TRUE(reader.started());
  EXPECT_EQ(reader.Wait(milliseconds(20000)), std::optional<int>(0));
  EXPECT_EQ(ReadFile(home / "notes.txt"), "the reader's own notes");
  EXPECT_EQ(ReadFile(home / "Downloads" / "notes.txt"), "the reader's own notes");
  EXPECT_EQ(LeftInHome(home, before), "");
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// Linux paths are bytes: a book stored under a folder named in Latin-1
// opens, and a temporary directory whose name is not UTF-8 gets the book
// folder itself, not a folder whose name has U+FFFD in place of the bytes.
TEST_F(ProgramTest, PathsThatAreNotUtf8AreUsedByteForByte) {
  const stdfs::path shelf = dir_ / "B\xfc" "cher";
  stdfs::create_directory(shelf);
  const stdfs::path book = shelf / "quiz";
  stdfs::copy_file(Pack({{"index.html", "<html><body>Quiz<script>"
                                        "setTimeout(function(){location.href='about:blank';}, 2000);"
                                        "</script></body></html>"}}),
                   book);
  const stdfs::path temp = dir_ / "t\xff";
  const stdfs::path lookalike = dir_ / "t\xef\xbf\xbd";
  stdfs::create_directory(temp);
  stdfs::create_directory(lookalike);
  Reader reader(book, temp);
  ASSERT_TRUE(reader.started());
  bool made = false;
  for (int i = 0; i < 750 && !made; ++i) {
    for (const stdfs::path& entry : Entries(temp)) made = made || entry.filename().string().starts_with("zel");
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_TRUE(made) << "no book folder in the temporary directory";
  EXPECT_EQ(reader.Wait(milliseconds(20000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(temp).empty());
  EXPECT_TRUE(Entries(lookalike).empty());
}

// Under a window manager the loading window gives the reader nothing to
// close, minimize, maximize or resize it with.
TEST_F(ProgramTest, LoadingWindowOffersNoBorderIconsUnderAWindowManager) {
  for (const char* tool : {"openbox", "xprop", "xdotool"}) {
    if (Shell(std::string("command -v ") + tool).empty()) GTEST_SKIP() << "no " << tool;
  }
  const stdfs::path ready = dir_ / "manager-ready";
  Child manager({"sh", "-c", "exec openbox --sm-disable --startup \"touch '" + ready.string() + "'\" 2>/dev/null"},
                {"HOME=" + dir_.path().string()});
  ASSERT_TRUE(manager.started());
  for (int i = 0; i < 200 && !stdfs::exists(ready); ++i) std::this_thread::sleep_for(milliseconds(50));
  ASSERT_TRUE(stdfs::exists(ready)) << "the window manager did not start";

  // Enough files to keep the loading window up for a while.
  std::map<std::string, std::string> files = {
      {"index.html", "<html><body>Quiz<script>setTimeout(function(){location.href='about:blank';}, 500);</script>"}};
  for (int i = 0; i < 150; ++i) files["part" + std::to_string(i) + ".txt"] = "part";
  Reader reader(Pack(files), tmpdir_);
  ASSERT_TRUE(reader.started());
  const std::string window =
      Shell("timeout 20 xdotool search --sync --onlyvisible --name '^Loading - Please wait...$' | head -n 1");
  ASSERT_FALSE(window.empty()) << "no loading window";
  // The manager names what it allows once it has taken the window on.
  std::string allowed;
  for (int i = 0; i < 100 && allowed.find(" = ") == std::string::npos; ++i) {
    allowed = Shell("xprop -id " + window + " _NET_WM_ALLOWED_ACTIONS 2>/dev/null");
    std::this_thread::sleep_for(milliseconds(10));
  }
  ASSERT_NE(allowed.find(" = "), std::string::npos) << allowed;
  std::set<std::string> actions;
  std::istringstream list(allowed.substr(allowed.find(" = ") + 3));
  for (std::string action; std::getline(list >> std::ws, action, ',');) actions.insert(action);
  for (const char* action : {"CLOSE", "MINIMIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT", "RESIZE", "FULLSCREEN"}) {
    EXPECT_EQ(actions.count(std::string("_NET_WM_ACTION_") + action), 0u) << allowed;
  }
  EXPECT_EQ(reader.Wait(milliseconds(20000)), std::optional<int>(0));
  manager.Stop();
}

// The zoom and back keys as the keyboard sends them. The second page notes
// that it is shown larger; back on the first page, that closes the book.
TEST_F(ProgramTest, ReaderZoomsInAndGoesBackWithTheKeyboard) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  const stdfs::path book = Pack({
      {"index.html",
       // Shown again from the page cache when the reader goes back; leaves
       // once loaded, since a page that leaves while loading is replaced
       // in the history rather than added to it.
       "<html><body>First<script>"
       "addEventListener('pageshow', function() {"
       "  if (sessionStorage.getItem('zoomed')) location.href = 'about:blank';"
       "  else if (!sessionStorage.getItem('left')) setTimeout(function() {"
       "    sessionStorage.setItem('left', '1'); location.href = 'second.html'; }, 0);"
       "});</script></body></html>"},
      {"second.html",
       "<html><body>Second<script>"
       "function check() { if (innerWidth < 0.95 * outerWidth) sessionStorage.setItem('zoomed', '1'); }"
       "check(); addEventListener('resize', check);"
       "</script></body></html>"},
  });
  Reader reader(book, tmpdir_);
  ASSERT_TRUE(reader.started());
  const std::string window = Shell("timeout 20 xdotool search --sync --onlyvisible --name '^EBook$' | head -n 1");
  ASSERT_FALSE(window.empty()) << "no viewer window";
  // Pressed again until the book closes: a key that comes before the
  // second page is shown does no harm.
  std::optional<int> status;
  for (int round = 0; round < 20 && !status; ++round) {
    // Fails once the book has closed and the window is gone.
    static_cast<void>(
        std::system(("xdotool windowfocus --sync " + window + " key ctrl+plus sleep 0.3 key alt+Left 2>/dev/null").c_str()));
    status = reader.Wait(milliseconds(700));
  }
  if (!status) status = reader.Wait(milliseconds(3000));
  EXPECT_EQ(status, std::optional<int>(0)) << "the book did not close";
}

TEST_F(ProgramTest, ViewerWithoutABookSaysSoAndEndsOnReturn) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  Reader reader(PAGIMOR_VIEWER_PROGRAM, tmpdir_);
  ASSERT_TRUE(reader.started());
  const std::string window = Shell("timeout 20 xdotool search --sync --onlyvisible --name '^Error$' | head -n 1");
  ASSERT_FALSE(window.empty()) << "no message window";
  // Under a bare display keys reach a window only once it has the focus.
  EXPECT_EQ(std::system(("xdotool windowfocus --sync " + window + " key Return").c_str()), 0);
  EXPECT_EQ(reader.Wait(milliseconds(10000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

class SignalTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

// Being told to end (a logout, Ctrl+C, a closed terminal) closes the book as
// its close box would: the folder goes and the run ends with 0.
TEST_P(SignalTest, WhileTheBookIsShownClosesItTheNormalWay) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  const stdfs::path book = Pack(kStayingBook);
  Reader reader(book, tmpdir_);
  ASSERT_TRUE(reader.started());
  ASSERT_TRUE(BookShown()) << "no book window";
  reader.Signal(GetParam());
  EXPECT_EQ(reader.Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP, SIGQUIT),
                         [](const auto& param) { return std::string(sigabbrev_np(param.param)); });

// A page opens no windows, the system's Print window neither: printing,
// asked for by the page or with Ctrl+P, does nothing, and the book still
// ends when told to.
TEST_F(ProgramTest, PrintingOpensNoWindowAndTheBookStillEndsWhenTold) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  const stdfs::path book = Pack({{"index.html",
                                  "<html><body>Print me<script>"
                                  "setTimeout(function() { window.print(); document.title = 'printed'; }, 300);"
                                  "</script></body></html>"}});
  Reader reader(book, tmpdir_);
  ASSERT_TRUE(reader.started());
  const std::string window = Shell("timeout 30 xdotool search --sync --onlyvisible --name '^EBook$' | head -n 1");
  ASSERT_FALSE(window.empty()) << "no book window";
  static_cast<void>(std::system(("xdotool windowfocus --sync " + window + " key ctrl+p 2>/dev/null").c_str()));
  // Time enough for a window to come up; any window beside the book's.
  std::this_thread::sleep_for(milliseconds(3000));
  EXPECT_EQ(Shell("xdotool search --onlyvisible --name . 2>/dev/null | grep -vx '" + window + "'"), "");
  reader.Signal(SIGTERM);
  EXPECT_EQ(reader.Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// Another program destroying the viewer window on the display (a window
// killer, a compositor going down) closes the book as its close box would.
TEST_F(ProgramTest, WindowDestroyedByAnotherProgramClosesTheBook) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  Reader reader(Pack(kStayingBook), tmpdir_);
  ASSERT_TRUE(reader.started());
  const std::string window = Shell("timeout 30 xdotool search --sync --onlyvisible --name '^EBook$' | head -n 1");
  ASSERT_FALSE(window.empty()) << "no book window";
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ(std::system(("xdotool windowclose " + window).c_str()), 0);
  EXPECT_EQ(reader.Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// A signal that comes before the program has got its bearings (while the
// system loads its libraries, while the display opens) ends the run with
// 0 and leaves nothing. A signal blocked from the start stands for all of
// them: it waits until the program takes it, which it must do as early as
// it can.
TEST_P(SignalTest, RightAtTheStartEndsTheRunWithZero) {
  const stdfs::path book = Pack(kStayingBook);
  for (int round = 0; round < 3; ++round) {
    Child reader({book.string()}, {"TMPDIR=" + tmpdir_.string()}, {SIGTERM, SIGINT, SIGHUP, SIGQUIT});
    ASSERT_TRUE(reader.started());
    reader.Signal(GetParam());
    EXPECT_EQ(reader.Wait(milliseconds(10000)), std::optional<int>(0)) << "round " << round;
    EXPECT_TRUE(Entries(tmpdir_).empty()) << "round " << round;
  }
}

TEST_F(ProgramTest, SignalWhileLoadingEndsTheRunAndRemovesTheFolder) {
  // Enough files that the extraction takes a few seconds.
  std::map<std::string, std::string> files = kStayingBook;
  for (int i = 0; i < 300; ++i) files["f" + std::to_string(i)] = "x";
  const stdfs::path book = Pack(files);
  Reader reader(book, tmpdir_);
  ASSERT_TRUE(reader.started());
  ASSERT_TRUE(WaitForFolder(milliseconds(15000)).has_value());
  reader.Signal(SIGTERM);
  EXPECT_EQ(reader.Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// A message waiting for OK goes too, and with it the folder if there is one.
TEST_F(ProgramTest, SignalWhileAMessageIsShownEndsTheRun) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  // A book whose last entry nothing closes gets a plain message, titled like
  // the application, with its folder made; the bare viewer gets the
  // program's own dialog before any folder.
  const stdfs::path book = Pack(kStayingBook);
  const std::string bytes = ReadFile(book);
  const stdfs::path unclosed = dir_ / "unclosed";
  // Without its digest, the book takes the road of an unsealed one.
  WriteFile(unclosed, bytes.substr(0, bytes.size() - kSealLength - 1));
  stdfs::permissions(unclosed, stdfs::perms::owner_all);
  const std::pair<stdfs::path, std::string> cases[] = {{unclosed, "EBook"}, {PAGIMOR_VIEWER_PROGRAM, "Error"}};
  for (const auto& [program, title] : cases) {
    Reader reader(program, tmpdir_);
    ASSERT_TRUE(reader.started());
    EXPECT_FALSE(Shell("timeout 30 xdotool search --sync --onlyvisible --name '^" + title + "$' | head -n 1").empty())
        << "no message window " << title;
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(milliseconds(10000)), std::optional<int>(0)) << title;
    EXPECT_TRUE(Entries(tmpdir_).empty()) << title;
  }
}

// An X server of the test's own, which the test can take away.
class OwnDisplay {
 public:
  OwnDisplay() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = "Xvfb";
    std::string fd = "-displayfd";
    std::string three = "3";
    std::string noTcp = "-nolisten";
    std::string tcp = "tcp";
    // Otherwise the server resets when a probe's connection closes, and may
    // refuse the viewer's at that moment.
    std::string noReset = "-noreset";
    char* argv[] = {program.data(), fd.data(), three.data(), noTcp.data(), tcp.data(), noReset.data(), nullptr};
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    // The server writes its display number and a line feed once it takes
    // connections, maybe in more than one write; it fails if the pipe
    // closes before it is done.
    std::string number;
    char c = 0;
    while (pid_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    ::close(fds[0]);
    if (c == '\n' && !number.empty()) name_ = ":" + number;
  }
  OwnDisplay(const OwnDisplay&) = delete;
  OwnDisplay& operator=(const OwnDisplay&) = delete;
  ~OwnDisplay() { Stop(); }
  [[nodiscard]] const std::string& name() const { return name_; }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

TEST_F(ProgramTest, LosingTheDisplayRemovesTheFolderAndEndsWithZero) {
  if (Shell("command -v xdotool").empty() || Shell("command -v Xvfb").empty()) GTEST_SKIP() << "no Xvfb or xdotool";
  OwnDisplay display;
  ASSERT_FALSE(display.name().empty()) << "no display of our own";
  const stdfs::path book = Pack(kStayingBook);
  Reader reader(book, tmpdir_, {"DISPLAY=" + display.name()});
  ASSERT_TRUE(reader.started());
  ASSERT_TRUE(BookShown(display.name())) << "no book window";
  display.Stop();
  EXPECT_EQ(reader.Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// A window manager of the test's on the shared display, ready once it has
// named itself on the root window.
class WindowManager : public Child {
 public:
  WindowManager(const std::string& command, const stdfs::path& home)
      : Child({"sh", "-c", "exec " + command + " 2>/dev/null"}, {"HOME=" + home.string()}) {
    for (int i = 0; i < 200 && !ready(); ++i) std::this_thread::sleep_for(milliseconds(50));
  }
  // The root keeps the name of a manager that has gone; the window it names
  // is gone with the manager.
  [[nodiscard]] static bool ready() {
    return Shell("id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p');"
                 " [ -n \"$id\" ] && xprop -id \"$id\" _NET_SUPPORTING_WM_CHECK 2>/dev/null")
               .find("window id") != std::string::npos;
  }
};

// The items of a window's property as xprop lists them, once it has one.
std::set<std::string> PropertyItems(const std::string& window, const std::string& property) {
  std::string text;
  for (int i = 0; i < 100 && text.find(" = ") == std::string::npos; ++i) {
    text = Shell("xprop -id " + window + " " + property + " 2>/dev/null");
    std::this_thread::sleep_for(milliseconds(20));
  }
  std::set<std::string> items;
  if (text.find(" = ") == std::string::npos) return items;
  std::istringstream list(text.substr(text.find(" = ") + 3));
  for (std::string item; std::getline(list >> std::ws, item, ',');) items.insert(item);
  return items;
}

struct DialogFrameCase {
  const char* name;
  const char* manager;  // the command that starts it
  // What the manager takes from a window's Motif hints: openbox leaves every
  // dialog its minimize and full-screen actions whatever the window asks.
  bool honoursMinimize;
};

void PrintTo(const DialogFrameCase& c, std::ostream* out) { *out << c.name; }

class DialogFrameTest : public ProgramTest, public ::testing::WithParamInterface<DialogFrameCase> {};

// The message dialog and the About box have a fixed dialog frame: a caption
// with a close box, no minimize or maximize box, no resizing. They ask any
// window manager for that through the Motif hints, and a manager that
// follows them offers nothing else.
TEST_P(DialogFrameTest, MessageAndAboutBoxOfferNoMinimizeOrMaximize) {
  const DialogFrameCase& c = GetParam();
  const std::string manager = std::string(c.manager).substr(0, std::string(c.manager).find(' '));
  for (const std::string& tool : {manager, std::string("xprop"), std::string("xdotool")}) {
    if (Shell("command -v " + tool).empty()) GTEST_SKIP() << "no " << tool;
  }
  ASSERT_FALSE(WindowManager::ready()) << "a window manager runs already";
  WindowManager wm(c.manager, dir_.path());
  ASSERT_TRUE(WindowManager::ready()) << "the window manager did not start";

  const std::pair<const char*, const char*> dialogs[] = {{PAGIMOR_VIEWER_PROGRAM, "Error"},
                                                         {PAGIMOR_SHOW_ABOUT_PROGRAM, "About This Pagimor"}};
  for (const auto& [program, title] : dialogs) {
    Reader reader(program, tmpdir_);
    ASSERT_TRUE(reader.started());
    const std::string window =
        Shell(std::string("timeout 20 xdotool search --sync --onlyvisible --name '^") + title + "$' | head -n 1");
    ASSERT_FALSE(window.empty()) << "no window " << title;
    // Flags (functions and decorations given), functions (move, close),
    // decorations (border, title, window menu).
    const std::set<std::string> motif = PropertyItems(window, "_MOTIF_WM_HINTS");
    EXPECT_EQ(motif, (std::set<std::string>{"0x3", "0x24", "0x1a", "0x0"})) << title;
    const std::set<std::string> actions = PropertyItems(window, "_NET_WM_ALLOWED_ACTIONS");
    ASSERT_FALSE(actions.empty()) << title;
    for (const char* action : {"CLOSE", "MOVE"}) {
      EXPECT_EQ(actions.count(std::string("_NET_WM_ACTION_") + action), 1u) << title << " " << action;
    }
    std::vector<std::string> refused = {"MAXIMIZE_HORZ", "MAXIMIZE_VERT", "RESIZE"};
    if (c.honoursMinimize) refused.insert(refused.end(), {"MINIMIZE", "FULLSCREEN"});
    for (const std::string& action : refused) {
      EXPECT_EQ(actions.count("_NET_WM_ACTION_" + action), 0u) << title << " " << action;
    }
    reader.Stop();
  }
  wm.Stop();
}

INSTANTIATE_TEST_SUITE_P(Managers, DialogFrameTest,
                         ::testing::Values(DialogFrameCase{"openbox", "openbox --sm-disable", false},
                                           DialogFrameCase{"metacity", "metacity --sm-disable", true}),
                         [](const auto& param) { return std::string(param.param.name); });

// A headless Wayland compositor of the test's own, which the test can take
// away; its clients find it through the two variables of env().
class Compositor {
 public:
  explicit Compositor(const stdfs::path& runtime) : runtime_(runtime) {
    stdfs::create_directory(runtime_);
    stdfs::permissions(runtime_, stdfs::perms::owner_all);
    weston_ = std::make_unique<Child>(
        std::vector<std::string>{"sh", "-c",
                                 "exec weston --backend=headless-backend.so --idle-time=0 --socket=" + kSocket +
                                     " >/dev/null 2>&1"},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + runtime_.string()});
    for (int i = 0; i < 200 && !stdfs::exists(runtime_ / kSocket); ++i) std::this_thread::sleep_for(milliseconds(50));
  }
  [[nodiscard]] bool running() const { return stdfs::exists(runtime_ / kSocket); }
  [[nodiscard]] std::vector<std::string> env() const {
    return {"XDG_RUNTIME_DIR=" + runtime_.string(), "WAYLAND_DISPLAY=" + kSocket};
  }
  void Stop() { weston_->Stop(); }

 private:
  inline static const std::string kSocket = "pagimor-test";
  stdfs::path runtime_;
  std::unique_ptr<Child> weston_;
};

// What the toolkit says on stderr beyond what a compositor without any
// input device makes it say (it has no seat, so the toolkit's own keymap and
// pointer lookups fail): every other warning or critical is a fault.
std::string ToolkitComplaints(const std::string& log) {
  std::string found;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("-CRITICAL **") == std::string::npos && line.find("-WARNING **") == std::string::npos) continue;
    if (line.find("'GDK_IS_SEAT (seat)'") != std::string::npos ||
        line.find("'GDK_IS_DEVICE (device)'") != std::string::npos)
      continue;
    found += line + "\n";
  }
  return found;
}

class WaylandTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    if (Shell("command -v weston").empty()) GTEST_SKIP() << "no weston";
    compositor_ = std::make_unique<Compositor>(dir_ / "runtime");
    ASSERT_TRUE(compositor_->running()) << "the compositor did not start";
  }
  void TearDown() override {
    if (compositor_) compositor_->Stop();
  }

  // The program on the compositor alone, its stderr kept in a file.
  std::unique_ptr<Child> RunAlone(const stdfs::path& program, const std::vector<std::string>& more = {}) {
    std::vector<std::string> changes = {"DISPLAY"};
    changes.insert(changes.end(), more.begin(), more.end());
    return RunBeside(program, changes);
  }
  // The program with the compositor besides the X display.
  std::unique_ptr<Child> RunBeside(const stdfs::path& program, const std::vector<std::string>& more = {}) {
    std::vector<std::string> changes = compositor_->env();
    changes.push_back("TMPDIR=" + tmpdir_.string());
    changes.insert(changes.end(), more.begin(), more.end());
    return std::make_unique<Child>(
        std::vector<std::string>{"sh", "-c", "exec '" + program.string() + "' 2>'" + log_.string() + "'"}, changes);
  }
  [[nodiscard]] std::string Log() const { return stdfs::exists(log_) ? ReadFile(log_) : std::string(); }

  std::unique_ptr<Compositor> compositor_;
  stdfs::path log_ = dir_ / "stderr.txt";
};

// A Wayland desktop that also offers X11 gets the book on X11, where its
// windows can be placed; the web engine's helper takes X11 too.
TEST_F(WaylandTest, BothDisplaysGiveTheBookToX11) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  auto reader = RunBeside(Pack(kStayingBook));
  ASSERT_TRUE(reader->started());
  EXPECT_TRUE(BookShown()) << "no book window on the X display";
  std::this_thread::sleep_for(milliseconds(1000));
  reader->Stop();
  EXPECT_TRUE(Entries(tmpdir_).empty());
  // On X11 not even the compositor's missing seat is heard of.
  EXPECT_EQ(Log().find("-CRITICAL **"), std::string::npos) << Log();
}

// With Wayland alone the book opens, its page closes it, and nothing is
// left; the toolkit has nothing to complain of.
TEST_F(WaylandTest, WaylandAloneShowsTheBookUntilItsPageClosesIt) {
  const stdfs::path book = Pack({{"index.html",
                                  "<html><body>Quiz<script>"
                                  "setTimeout(function(){location.href='about:blank';}, 1500);</script></body></html>"}});
  auto reader = RunAlone(book);
  ASSERT_TRUE(reader->started());
  ASSERT_TRUE(WaitForFolder(milliseconds(15000)).has_value());
  EXPECT_EQ(reader->Wait(milliseconds(30000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
  EXPECT_EQ(ToolkitComplaints(Log()), "");
}

// The bare viewer's message shows on Wayland too (the protocol log names
// its window's title), and a request to end still ends the run with 0.
TEST_F(WaylandTest, WaylandAloneShowsAFailuresMessage) {
  auto reader = RunAlone(PAGIMOR_VIEWER_PROGRAM, {"WAYLAND_DEBUG=client"});
  ASSERT_TRUE(reader->started());
  bool shown = false;
  for (int i = 0; i < 300 && !shown; ++i) {
    shown = Log().find(".set_title(\"Error\")") != std::string::npos;
    if (!shown) std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_TRUE(shown) << "no message window";
  reader->Signal(SIGTERM);
  EXPECT_EQ(reader->Wait(milliseconds(10000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
  EXPECT_EQ(ToolkitComplaints(Log()), "");
}

// A compositor that goes away takes the book's folder with it, and the run
// still ends with 0, as with a lost X display.
TEST_F(WaylandTest, LosingTheCompositorRemovesTheFolderAndEndsWithZero) {
  auto reader = RunAlone(Pack(kStayingBook));
  ASSERT_TRUE(reader->started());
  ASSERT_TRUE(WaitForFolder(milliseconds(15000)).has_value());
  // Until the loading window has gone and the book is shown.
  std::this_thread::sleep_for(milliseconds(4000));
  compositor_->Stop();
  EXPECT_EQ(reader->Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// The system's web engine libraries, which a test hides from the viewer in a
// mount namespace of the viewer's own by putting an empty file over them.
class WebEngineTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    if (Shell("unshare -m true 2>/dev/null && echo yes") != "yes") GTEST_SKIP() << "no mount namespaces here";
    for (const char* name : {"libwebkit2gtk-4.1.so.0", "libwebkit2gtk-4.0.so.37"}) {
      const std::string path =
          Shell(std::string("ldconfig -p | sed -n 's/^[[:space:]]*") + name + " (.*=> //p' | head -n 1");
      if (path.empty()) GTEST_SKIP() << "no " << name;
      libraries_.push_back(path);
    }
  }

  // The program with the first count libraries hidden, its stderr kept.
  std::unique_ptr<Child> RunHiding(const stdfs::path& program, std::size_t count) {
    std::string script;
    for (std::size_t i = 0; i < count; ++i) script += "mount --bind /dev/null '" + libraries_[i] + "' && ";
    script += "exec '" + program.string() + "' 2>'" + log_.string() + "'";
    return std::make_unique<Child>(std::vector<std::string>{"unshare", "-m", "sh", "-c", script},
                                   std::vector<std::string>{"TMPDIR=" + tmpdir_.string()});
  }

  std::vector<std::string> libraries_;  // 4.1, then 4.0
  stdfs::path log_ = dir_ / "stderr.txt";
};

// Where only the 4.0 library is there, the book opens with it.
TEST_F(WebEngineTest, WithOnlyTheOlderLibraryTheBookOpens) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  const stdfs::path book = Pack({{"index.html",
                                  "<html><body>Quiz<script>"
                                  "setTimeout(function(){location.href='about:blank';}, 3000);</script></body></html>"}});
  // The namespace's program takes the place of the shell, under its number.
  auto reader = RunHiding(book, 1);
  ASSERT_TRUE(reader->started());
  ASSERT_TRUE(BookShown()) << "no book window";
  const std::string maps = Shell("grep -o 'libwebkit2gtk-4\\.[01]' /proc/$(xdotool search --onlyvisible --name '^EBook$' "
                                 "getwindowpid | head -n 1)/maps | sort -u");
  EXPECT_EQ(maps, "libwebkit2gtk-4.0");
  EXPECT_EQ(reader->Wait(milliseconds(20000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

// Where neither is there, the reader is told what to install, nothing is
// unpacked, and the run ends with 0 once the message is read.
TEST_F(WebEngineTest, WithNeitherLibraryTheReaderIsToldWhatToInstall) {
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "no xdotool";
  auto reader = RunHiding(Pack(kStayingBook), 2);
  ASSERT_TRUE(reader->started());
  const std::string window = Shell("timeout 20 xdotool search --sync --onlyvisible --name '^EBook$' | head -n 1");
  ASSERT_FALSE(window.empty()) << "no message window";
  EXPECT_EQ(std::system(("xdotool windowfocus --sync " + window + " key Return").c_str()), 0);
  EXPECT_EQ(reader->Wait(milliseconds(10000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
  EXPECT_NE(ReadFile(log_).find("This book needs WebKitGTK to show its pages"), std::string::npos) << ReadFile(log_);
}

// The viewer loads the web engine itself, whichever of its libraries the
// system has: it must not need one of them, nor their HTTP libraries, to start.
TEST(ViewerProgramTest, LinksNoWebEngineLibrary) {
  if (Shell("command -v readelf").empty()) GTEST_SKIP() << "no readelf";
  const std::string needed = Shell("readelf -d '" PAGIMOR_VIEWER_PROGRAM "' | grep NEEDED");
  ASSERT_NE(needed.find("libgtk-3"), std::string::npos) << needed;
  for (const char* library : {"libwebkit2gtk", "libjavascriptcoregtk", "libsoup"}) {
    EXPECT_EQ(needed.find(library), std::string::npos) << needed;
  }
}

}  // namespace
}  // namespace pagimor::test
