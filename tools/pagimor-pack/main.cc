// pagimor-pack: makes books from folder trees, and lists, extracts and
// verifies them.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "console.h"

#if defined(_WIN32)
#include "platform/win32/path.h"
#endif

namespace {

using namespace pagimor::pack;

constexpr std::string_view kExitStatus =
    "Exit status: 0 on success, 1 for a bad folder or book, 2 for a usage error.\n";

constexpr std::string_view kUsage =
    "Usage: pagimor-pack create [--for SYSTEM] [--viewer VIEWER] [-o BOOK] [-q]\n"
    "                           [--exclude PATTERN]... FOLDER\n"
    "       pagimor-pack preview [--for SYSTEM] [--viewer VIEWER] [--exclude PATTERN]... FOLDER\n"
    "       pagimor-pack list BOOK\n"
    "       pagimor-pack extract [-q] BOOK DIR\n"
    "       pagimor-pack verify BOOK\n"
    "       pagimor-pack COMMAND --help\n"
    "\n"
    "Makes a Pagimor book, one executable that opens index.html, from the files\n"
    "under FOLDER, subfolders included (at most 999 files, one of them\n"
    "index.html, paths of at most 255 characters).\n"
    "\n"
    "Commands:\n"
    "  create    write VIEWER followed by the archive of FOLDER's tree to BOOK\n"
    "  preview   open FOLDER as a book, and remove the book again when it closes\n"
    "  list      print every file of BOOK with its size, and the total\n"
    "  extract   write every file of BOOK into DIR, made if missing\n"
    "  verify    check that BOOK keeps every rule its viewer relies on\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help, or a command's own, and exit\n"
    "  --version        show the version and exit\n"
    "\n";

struct CommandHelp {
  std::string_view name;
  std::string_view text;
};

constexpr CommandHelp kCommandHelp[] = {
    {"create",
     "Usage: pagimor-pack create [--for SYSTEM] [--viewer VIEWER] [-o BOOK] [-q]\n"
     "                           [--exclude PATTERN]... FOLDER\n"
     "\n"
     "Writes VIEWER followed by the archive of every file under FOLDER, in its\n"
     "subfolders too, to BOOK, and says what it wrote: at most 999 files, one of\n"
     "them index.html at the top, each path at most 255 characters. Empty folders\n"
     "are not kept. A symbolic link is packed only when it points to a file inside\n"
     "FOLDER. BOOK may not lie inside FOLDER or be the viewer itself. For a\n"
     "Windows book, every .html page without\n"
     "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"> in its <head> is\n"
     "named in a warning: Windows shows it in an old compatibility mode.\n"
     "\n"
     "Always left out, at any depth: .git, .hg, .svn, .DS_Store, Thumbs.db,\n"
     "desktop.ini and __MACOSX/.\n"
     "\n"
     "Options:\n"
     "  --for SYSTEM       linux or windows: the system the book is for (default:\n"
     "                     the one this packer runs on)\n"
     "  --viewer VIEWER    the viewer program to carry the book (default: the\n"
     "                     viewer for SYSTEM in ../lib/pagimor/ from this program's\n"
     "                     folder, else beside it, else in the build folders)\n"
     "  -o, --output BOOK  the book to write (default: FOLDER's name + .run, or\n"
     "                     + .exe for a Windows book, in the current folder)\n"
     "  --exclude PATTERN  leave out what PATTERN matches; may be given again. A\n"
     "                     pattern without '/' matches a file's or folder's name\n"
     "                     at any depth (*.psd), one with '/' the path from\n"
     "                     FOLDER (media/raw/*); one ending in '/' only folders.\n"
     "                     * and ? stay within a name, ** crosses folders.\n"
     "  -q, --quiet        no line on success and no progress\n"
     "\n"},
    {"preview",
     "Usage: pagimor-pack preview [--for SYSTEM] [--viewer VIEWER] [--exclude PATTERN]... FOLDER\n"
     "\n"
     "Packs FOLDER into a private temporary book, opens it, waits until it is\n"
     "closed and removes it; the exit status is the viewer's. A Windows book is\n"
     "opened with wine on Linux. What create leaves out, preview leaves out too.\n"
     "\n"
     "Options:\n"
     "  --for SYSTEM       linux or windows (default: the one this packer runs on)\n"
     "  --viewer VIEWER    the viewer program to carry the book\n"
     "  --exclude PATTERN  leave out what PATTERN matches, as create does\n"
     "\n"},
    {"list",
     "Usage: pagimor-pack list BOOK\n"
     "\n"
     "Prints every file of BOOK (its path in the book) with its size, the total,\n"
     "and whether the book carries a SHA-256 digest and whether it holds.\n"
     "\n"},
    {"extract",
     "Usage: pagimor-pack extract [-q] BOOK DIR\n"
     "\n"
     "Writes every file of BOOK into DIR, made if missing, with the book's\n"
     "folders, never through a symbolic link. A file already in DIR under the\n"
     "same name is replaced; a folder of that name stops the run.\n"
     "\n"
     "Options:\n"
     "  -q, --quiet        no progress\n"
     "\n"},
    {"verify",
     "Usage: pagimor-pack verify BOOK\n"
     "\n"
     "Checks that BOOK keeps every rule its viewer relies on, its SHA-256 digest\n"
     "when it carries one, and says which entry breaks which rule. For a Windows\n"
     "book it warns about pages in the old compatibility mode, as create does.\n"
     "\n"},
};

const CommandHelp* FindCommand(std::string_view name) {
  for (const CommandHelp& help : kCommandHelp) {
    if (help.name == name) return &help;
  }
  return nullptr;
}

int ShowHelp(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fwrite(kExitStatus.data(), 1, kExitStatus.size(), stdout);
  return kExitOk;
}

int UsageError(const std::string& text, std::string_view command = {}) {
  Complain(text);
  const std::string more = FindCommand(command) != nullptr ? std::string(command) + " --help" : "--help";
  std::fprintf(stderr, "Try 'pagimor-pack %s'.\n", more.c_str());
  return kExitUsage;
}

// The command an option error concerns: the first operand, wherever it
// stands, so that its own help is named.
std::string CommandOf(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") return i + 1 < args.size() ? args[i + 1] : "";
    if (arg == "--viewer" || arg == "-o" || arg == "--output" || arg == "--for" || arg == "--exclude") {
      ++i;
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-') return arg;
  }
  return {};
}

int Run(std::vector<std::string> args) {
  if (args.empty()) return UsageError("no command given");
  std::vector<std::string> operands;
  CreateOptions create;
  std::string system;
  bool optionsEnded = false;
  bool help = false;
  const std::string commandForErrors = CommandOf(args);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      // Answered once the command, wherever it stands, is known.
      help = true;
    } else if (arg == "--version") {
      std::puts("pagimor-pack " PAGIMOR_VERSION);
      return kExitOk;
    } else if (arg == "-q" || arg == "--quiet") {
      create.quiet = true;
    } else if (arg == "--viewer" || arg == "-o" || arg == "--output" || arg == "--for") {
      if (i + 1 >= args.size()) return UsageError("option " + arg + " needs a value", commandForErrors);
      (arg == "--viewer" ? create.viewer : arg == "--for" ? system : create.output) = args[++i];
    } else if (arg == "--exclude") {
      if (i + 1 >= args.size()) return UsageError("option " + arg + " needs a value", commandForErrors);
      create.excludes.push_back(args[++i]);
    } else if (arg.starts_with("--exclude=")) {
      create.excludes.push_back(arg.substr(10));
    } else if (arg.starts_with("--viewer=")) {
      create.viewer = arg.substr(9);
    } else if (arg.starts_with("--for=")) {
      system = arg.substr(6);
    } else if (arg.starts_with("--output=")) {
      create.output = arg.substr(9);
    } else if (arg.starts_with("-o")) {
      create.output = arg.substr(2);  // -oBOOK
    } else {
      return UsageError("unknown option " + arg, commandForErrors);
    }
  }
  if (operands.empty()) return help ? ShowHelp(kUsage) : UsageError("no command given");
  std::string command = operands.front();
  operands.erase(operands.begin());
  if (command == "help") {
    if (operands.empty()) return ShowHelp(kUsage);
    help = true;
    command = operands.front();
  }
  if (FindCommand(command) == nullptr) return UsageError("unknown command '" + command + "'");
  if (help) return ShowHelp(FindCommand(command)->text);

  const bool createOptions =
      !create.viewer.empty() || !create.output.empty() || !system.empty() || !create.excludes.empty();
  const bool packs = command == "create" || command == "preview";
  const auto expect = [&](std::size_t n, const char* what) -> std::string {
    if (operands.size() != n) return "'" + command + "' takes " + what;
    if (!packs && createOptions) return "--for, --viewer, --output and --exclude go with 'create' and 'preview' only";
    if (command == "preview" && !create.output.empty()) {
      return "'preview' writes no book to keep; --output goes with 'create'";
    }
    if (create.quiet && command != "create" && command != "extract") {
      return "--quiet goes with 'create' and 'extract' only";
    }
    return {};
  };
  std::string problem;
  if (packs) {
    if (!(problem = expect(1, "one FOLDER")).empty()) return UsageError(problem, command);
    if (!system.empty()) {
      create.system = ParseSystem(system);
      if (!create.system) return UsageError("--for takes linux or windows, not '" + system + "'", command);
    }
    create.folder = operands[0];
    return command == "create" ? Create(create) : Preview(create);
  }
  if (command == "list" || command == "verify") {
    if (!(problem = expect(1, "one BOOK")).empty()) return UsageError(problem, command);
    return command == "list" ? List(operands[0]) : Verify(operands[0]);
  }
  if (!(problem = expect(2, "a BOOK and a DIR")).empty()) return UsageError(problem, command);
  return Extract(operands[0], operands[1], create.quiet);
}

int Main(std::vector<std::string> args) {
  try {
    return Run(std::move(args));
  } catch (const std::exception& e) {
    Complain(e.what());
    return kExitBadInput;
  }
}

}  // namespace

#if defined(_WIN32)
// The wide command line, so that a path outside the ANSI code page arrives
// whole; the packer works on UTF-8 from here on.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(pagimor::win32::WideToUtf8(argv[i]));
  return Main(std::move(args));
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
