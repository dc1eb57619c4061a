// The viewer as a reader runs it: a packed book on a real display, the bare
// viewer that carries no book, and a run told to end from outside.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "archive/support.h"

extern char** environ;

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A child process with its own temporary directory, and the display given
// or the test's own; killed if still there when the test ends.
class Reader {
 public:
  Reader(const stdfs::path& program, const stdfs::path& tmpdir, const std::string& display = "") {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry(*e);
      if (entry.starts_with("TMPDIR=") || (!display.empty() && entry.starts_with("DISPLAY="))) continue;
      env.emplace_back(entry);
    }
    env.push_back("TMPDIR=" + tmpdir.string());
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid_ = -1;
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  ~Reader() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  [[nodiscard]] bool started() const { return pid_ > 0; }
  void Signal(int signal) const { ::kill(pid_, signal); }

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

  // Packs files into a book with the viewer.
  stdfs::path PackBook(const std::map<std::string, std::string>& files) {
    const stdfs::path source = dir_ / "source";
    stdfs::create_directory(source);
    for (const auto& [name, data] : files) WriteFile(source / name, data);
    const stdfs::path book = dir_ / "book";
    const std::string command = "'" + std::string(PAGIMOR_PACK_PROGRAM) + "' create --viewer '" PAGIMOR_VIEWER_PROGRAM
                                "' -o '" + book.string() + "' '" + source.string() + "' >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
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
       "<html><body><img src='picture.gif'><script>"
       "setTimeout(function(){location.href='about:blank';}, 2500);</script></body></html>"},
      {"picture.gif", SaltedData(7, 3000)},
      {"sound.wav", SaltedData(8, 70000)},
  };
  const stdfs::path book = PackBook(files);

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
  const stdfs::path book = PackBook(kStayingBook);
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
  const stdfs::path book = PackBook(files);
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
  const stdfs::path book = PackBook(kStayingBook);
  const std::string bytes = ReadFile(book);
  const stdfs::path unclosed = dir_ / "unclosed";
  WriteFile(unclosed, bytes.substr(0, bytes.size() - 1));
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
    char* argv[] = {program.data(), fd.data(), three.data(), noTcp.data(), tcp.data(), nullptr};
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
  const stdfs::path book = PackBook(kStayingBook);
  Reader reader(book, tmpdir_, display.name());
  ASSERT_TRUE(reader.started());
  ASSERT_TRUE(BookShown(display.name())) << "no book window";
  display.Stop();
  EXPECT_EQ(reader.Wait(milliseconds(15000)), std::optional<int>(0));
  EXPECT_TRUE(Entries(tmpdir_).empty());
}

}  // namespace
}  // namespace pagimor::test
