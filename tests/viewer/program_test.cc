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
// it from the environment.
class Child {
 public:
  explicit Child(std::vector<std::string> argv, const std::vector<std::string>& changes = {}) {
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
    if (posix_spawnp(&pid_, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
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
  Reader reader(book, tmpdir_,
                {"HOME=" + home.string(), "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"});
  ASSERT_TRUE(reader.started());
  EXPECT_EQ(reader.Wait(milliseconds(20000)), std::optional<int>(0));

  // Caches that libraries below us keep for every program, not named
  // after this one; GLib makes the cache folder itself when the session has
  // no runtime folder.
  const std::vector<std::string> theirs = {".cache", ".cache/fontconfig", ".cache/dconf", ".cache/mesa_shader_cache"};
  std::string ours;
  for (const auto& entry : stdfs::recursive_directory_iterator(home)) {
    const std::string path = stdfs::relative(entry.path(), home).string();
    const bool library = std::any_of(theirs.begin(), theirs.end(), [&](const std::string& dir) {
      return path == dir || (dir != ".cache" && path.starts_with(dir + "/"));
    });
    if (!library) ours += path + "\n";
  }
  EXPECT_EQ(ours, "");
  EXPECT_TRUE(Entries(tmpdir_).empty());
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

}  // namespace
}  // namespace pagimor::test
