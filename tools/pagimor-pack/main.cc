// pagimor-pack: makes books from flat folders, and lists, extracts and
// verifies them.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "console.h"

namespace {

using namespace pagimor::pack;

constexpr std::string_view kUsage =
    "Usage: pagimor-pack create [--viewer VIEWER] [-o BOOK] FOLDER\n"
    "       pagimor-pack list BOOK\n"
    "       pagimor-pack extract BOOK DIR\n"
    "       pagimor-pack verify BOOK\n"
    "\n"
    "Makes a Pagimor book, one executable that opens index.html, from the files\n"
    "directly inside FOLDER (no subfolders, at most 999 files, one of them\n"
    "index.html, names of at most 255 characters).\n"
    "\n"
    "Commands:\n"
    "  create    write VIEWER followed by the archive of FOLDER's files to BOOK\n"
    "  list      print every file of BOOK with its size, and the total\n"
    "  extract   write every file of BOOK into DIR, made if missing\n"
    "  verify    check that BOOK keeps every rule its viewer relies on\n"
    "\n"
    "Options:\n"
    "  --viewer VIEWER  the viewer program to carry the book (default: pagimor\n"
    "                   beside this program)\n"
    "  -o, --output BOOK  the book to write (default: FOLDER's name + .run, or\n"
    "                   + .exe for a Windows viewer, in the current folder)\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 for a bad folder or book, 2 for a usage error.\n";

int UsageError(const std::string& text) {
  Complain(text);
  std::fputs("Try 'pagimor-pack --help'.\n", stderr);
  return kExitUsage;
}

int Run(std::vector<std::string> args) {
  if (args.empty()) return UsageError("no command given");
  std::vector<std::string> operands;
  CreateOptions create;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage.data(), stdout);
      return kExitOk;
    } else if (arg == "--version") {
      std::puts("pagimor-pack " PAGIMOR_VERSION);
      return kExitOk;
    } else if (arg == "--viewer" || arg == "-o" || arg == "--output") {
      if (i + 1 >= args.size()) return UsageError("option " + arg + " needs a value");
      (arg == "--viewer" ? create.viewer : create.output) = args[++i];
    } else if (arg.starts_with("--viewer=")) {
      create.viewer = arg.substr(9);
    } else if (arg.starts_with("--output=")) {
      create.output = arg.substr(9);
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (operands.empty()) return UsageError("no command given");
  const std::string command = operands.front();
  operands.erase(operands.begin());
  const bool createOptions = !create.viewer.empty() || !create.output.empty();
  const auto expect = [&](std::size_t n, const char* what) -> std::string {
    if (operands.size() != n) return "'" + command + "' takes " + what;
    if (command != "create" && createOptions) return "--viewer and --output go with 'create' only";
    return {};
  };
  std::string problem;
  if (command == "create") {
    if (!(problem = expect(1, "one FOLDER")).empty()) return UsageError(problem);
    create.folder = operands[0];
    return Create(create);
  }
  if (command == "list" || command == "verify") {
    if (!(problem = expect(1, "one BOOK")).empty()) return UsageError(problem);
    return command == "list" ? List(operands[0]) : Verify(operands[0]);
  }
  if (command == "extract") {
    if (!(problem = expect(2, "a BOOK and a DIR")).empty()) return UsageError(problem);
    return Extract(operands[0], operands[1]);
  }
  if (command == "help") {
    std::fputs(kUsage.data(), stdout);
    return kExitOk;
  }
  return UsageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(std::move(args));
  } catch (const std::exception& e) {
    Complain(e.what());
    return kExitBadInput;
  }
}
