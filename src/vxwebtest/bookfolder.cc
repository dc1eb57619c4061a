#include "vxwebtest/bookfolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <random>

#include "platform/text.h"
#include "vxwebtest/startup.h"

namespace pagimor {

std::u16string BookFolder;

namespace {

constexpr int kFolderStepPauseMs = 10;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;
constexpr int kMaxRandomPauseMs = 1299;

std::u16string Digits(int value, int width) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value > 0);
  while (static_cast<int>(text.size()) < width) text.insert(text.begin(), u'0');
  return text;
}

}  // namespace

std::u16string FolderTimestamp(const LocalTime& time) {
  return Digits(time.year, 4) + Digits(time.month, 2) + Digits(time.day, 2) + Digits(time.hour, 2) +
         Digits(time.minute, 2) + Digits(time.second, 2) + Digits(time.millisecond, 1);
}

std::u16string CollapseDoubledSeparators(std::u16string_view path) {
  std::u16string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    out.push_back(path[i]);
    if (path[i] == fs::kSeparator && i + 1 < path.size() && path[i + 1] == fs::kSeparator) ++i;
  }
  return out;
}

std::u16string MakeBookFolderName(std::u16string_view tempPath, const LocalTime& time) {
  std::u16string candidate(tempPath);
  candidate += kBookFolderPrefix;
  candidate += FolderTimestamp(time);
  candidate += kBookFolderSuffix;
  return Widen(ToUtf8(CollapseDoubledSeparators(Widen(ToUtf8(candidate)))));
}

fs::ErrorCode CreatePrivateDirectory(std::u16string_view path) {
  return ::mkdir(ToUtf8(path).c_str(), 0700) == 0 ? 0 : errno;
}

bool CreateBookFolder(Application& app) {
  std::mt19937 random(static_cast<std::mt19937::result_type>(app.HighResolutionCounter()));
  std::uniform_int_distribution<int> randomPause(0, kMaxRandomPauseMs);
  for (int attempt = 0;; ++attempt) {
    PauseMs(app, kFolderStepPauseMs);
    PauseMs(app, kFolderStepPauseMs);
    const std::u16string tempPath = app.TempPath();
    PauseMs(app, kFolderStepPauseMs);
    BookFolder = MakeBookFolderName(tempPath, app.Now());
    PauseMs(app, kFolderStepPauseMs);
    PauseMs(app, kFolderStepPauseMs);
    const fs::ErrorCode error = app.CreateDirectory(BookFolder);
    if (error == 0) return true;
    if (attempt >= kBookFolderAttempts - 1) {
      std::string text(kBookFolderError);
      text += fs::ErrorText(error);
      ShowErrorMessage(app, text);
      return false;
    }
    BookFolder.clear();
    PauseMs(app, randomPause(random));
  }
}

bool RemoveBookFolder(std::string_view folder) {
  const std::string base(folder);
  bool ok = true;
  if (const DirHandle dir{::opendir(base.c_str())}) {
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = base + "/" + std::string(name);
      struct stat info {};
      // Subfolders are never entered; a link is removed, not followed.
      if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
      if (::unlink(path.c_str()) != 0) ok = false;
    }
  }
  return ::rmdir(base.c_str()) == 0 && ok;
}

BookFolderGuard::BookFolderGuard(std::u16string_view folder) : folder_(ToUtf8(folder)) {}

// What cannot be removed stays, without a message: the run is over.
BookFolderGuard::~BookFolderGuard() { RemoveBookFolder(folder_); }

bool FileExists(std::string_view path) {
  struct stat info {};
  return ::stat(std::string(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace pagimor
