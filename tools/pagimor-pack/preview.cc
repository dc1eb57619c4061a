// preview: the author's edit-and-look loop. The folder becomes a book in a
// private temporary folder, the book runs, and when it ends the book goes
// again: nothing is left to clean up.
#include <filesystem>
#include <optional>
#include <system_error>

#include "commands.h"
#include "console.h"
#include "paths.h"
#include "platform/file.h"
#include "report.h"

#if defined(_WIN32)
#include "platform/win32/handles.h"
#include "platform/win32/path.h"
#include "platform/win32/winapi.h"
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

extern char** environ;
#endif

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

// A folder only this user can open, made in the temporary directory and
// removed with everything in it when the object goes.
class PrivateFolder {
 public:
  PrivateFolder() {
    std::error_code ec;
    const stdfs::path temp = stdfs::temp_directory_path(ec);
    if (ec) {
      problem_ = "cannot find the temporary directory: " + ec.message();
      return;
    }
#if defined(_WIN32)
    // Made with the temporary directory's access rules, which are the user's own.
    for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const stdfs::path candidate = temp / (L"pagimor-preview-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                            std::to_wstring(::GetTickCount() + attempt));
      if (::CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
    }
    if (path_.empty()) {
      problem_ = "cannot make a folder in " + PathText(temp) + ": " +
                 fs::ErrorText(static_cast<fs::ErrorCode>(::GetLastError()));
    }
#else
    std::string pattern = (temp / "pagimor-preview-XXXXXX").native();
    if (::mkdtemp(pattern.data()) == nullptr) {
      problem_ = "cannot make a folder in " + PathText(temp) + ": " + fs::ErrorText(errno);
      return;
    }
    path_ = pattern;  // mkdtemp makes it 0700
#endif
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  ~PrivateFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    stdfs::remove_all(path_, ec);
#if defined(_WIN32)
    // A program's file can stay locked for a moment after the program ends.
    for (int i = 0; ec && i < 20; ++i) {
      ::Sleep(100);
      ec.clear();
      stdfs::remove_all(path_, ec);
    }
#endif
    if (ec) Complain("cannot remove the preview folder " + PathText(path_) + ": " + ec.message());
  }
  [[nodiscard]] const stdfs::path& path() const { return path_; }
  [[nodiscard]] const std::string& problem() const { return problem_; }

 private:
  stdfs::path path_;
  std::string problem_;
};

#if defined(_WIN32)

int RunBook(const stdfs::path& book, System) {
  std::wstring line = L"\"" + book.native() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(book.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    Complain("cannot start the book " + PathText(book) + ": " +
             fs::ErrorText(static_cast<fs::ErrorCode>(::GetLastError())));
    return kExitBadInput;
  }
  const win32::UniqueHandle owned(process.hProcess);
  ::CloseHandle(process.hThread);
  // Ctrl+C in the console would end the packer and leave the book behind;
  // the book has no console and is closed in its own window.
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

#else

// The signals that end a viewer the way its own menu does. While the book
// runs they are held for the packer, which must outlive the book to remove
// it: one sent from the terminal reaches the book itself too, one sent to
// the packer alone is passed on to the book.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

int RunBook(const stdfs::path& book, System system) {
  std::vector<std::string> args;
  if (system == System::Windows) args.emplace_back("wine");
  args.push_back(book.native());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  sigset_t held;
  sigemptyset(&held);
  for (const int sig : kEndingSignals) sigaddset(&held, sig);
  sigaddset(&held, SIGCHLD);
  sigset_t before;
  sigprocmask(SIG_BLOCK, &held, &before);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int sig : kEndingSignals) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attributes, &before);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);

  int result = kExitBadInput;
  if (spawned != 0) {
    Complain(system == System::Windows && spawned == ENOENT
                 ? "a Windows book opens here only with wine, which is not installed (apt-get install wine)"
                 : "cannot start the book " + book.native() + ": " + fs::ErrorText(spawned));
  } else {
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (done < 0 && errno != EINTR) {
        Complain("lost the book's process: " + fs::ErrorText(errno));
        break;
      }
      // SIGCHLD wakes the wait; the time limit covers a parent that ignores it.
      siginfo_t info{};
      const timespec tick{0, 200'000'000};
      const int sig = ::sigtimedwait(&held, &info, &tick);
      if (sig > 0 && sig != SIGCHLD && (info.si_code == SI_USER || info.si_code == SI_QUEUE)) ::kill(pid, sig);
    }
  }
  // An ending signal that came while the book closed was meant for the
  // book: let it go, rather than end the packer before the book is removed.
  const timespec none{0, 0};
  while (::sigtimedwait(&held, nullptr, &none) > 0) {
  }
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return result;
}

#endif

}  // namespace

int Preview(const CreateOptions& options) {
  std::optional<System> system = options.system;
  if (!options.viewer.empty()) {
    const fs::InputFile viewer(FilePath(ToPath(options.viewer)));
    if (!viewer.is_open()) {
      Complain("cannot open the viewer " + Quote(options.viewer) + ": " + OpenProblem(options.viewer, viewer.error()));
      return kExitBadInput;
    }
    const std::optional<System> own = CheckViewer(viewer, options.viewer);
    if (!own || !MatchesRequest(*own, options.system, options.viewer)) return kExitBadInput;
    system = own;
  }
  const System target = system.value_or(OwnSystem());
#if defined(_WIN32)
  if (target == System::Linux) {
    Complain("a Linux book cannot be opened on Windows; make it with 'create --for linux' and open it on Linux");
    return kExitBadInput;
  }
#endif
  const PrivateFolder folder;
  if (!folder.problem().empty()) {
    Complain(folder.problem());
    return kExitBadInput;
  }
  CreateOptions create = options;
  create.system = target;
  create.quiet = true;
  const stdfs::path book = folder.path() / ToPath(DefaultBookName(options.folder, target));
  create.output = PathText(book);
  if (const int made = Create(create); made != kExitOk) return made;
  return RunBook(book, target);
}

}  // namespace pagimor::pack
