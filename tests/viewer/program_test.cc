// The viewer as a reader runs it: a packed book on a real display, and the
// bare viewer that carries no book.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "archive/support.h"

extern char** environ;

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A child process with its own temporary directory; killed if still there
// when the test ends.
class Reader {
 public:
  Reader(const stdfs::path& program, const stdfs::path& tmpdir) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (!std::string_view(*e).starts_with("TMPDIR=")) env.emplace_back(*e);
    }
    env.push_back("TMPDIR=" + tmpdir.string());
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
  ScratchDir dir_;
  stdfs::path tmpdir_ = dir_ / "tmp";
};

TEST_F(ProgramTest, BookShowsItsFilesAsPackedAndLeavesNothingBehind) {
  const stdfs::path source = dir_ / "source";
  stdfs::create_directory(source);
  const std::map<std::string, std::string> files = {
      {"index.html",
       "<html><body><img src='picture.gif'><script>"
       "setTimeout(function(){location.href='about:blank';}, 2500);</script></body></html>"},
      {"picture.gif", SaltedData(7, 3000)},
      {"sound.wav", SaltedData(8, 70000)},
  };
  for (const auto& [name, data] : files) WriteFile(source / name, data);
  const stdfs::path book = dir_ / "book";
  ASSERT_EQ(std::system(("'" + std::string(PAGIMOR_PACK_PROGRAM) + "' create --viewer '" PAGIMOR_VIEWER_PROGRAM
                         "' -o '" + book.string() + "' '" + source.string() + "' >/dev/null")
                            .c_str()),
            0);

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

}  // namespace
}  // namespace pagimor::test
