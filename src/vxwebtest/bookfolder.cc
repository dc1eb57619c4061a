#include "vxwebtest/bookfolder.h"

#include <random>

#include "platform/text.h"
#include "vxwebtest/startup.h"

namespace pagimor {

std::u16string BookFolder;

namespace {

constexpr int kFolderStepPauseMs = 10;
constexpr int kMaxRandomPauseMs = 1299;
constexpr std::size_t kMinTimestampDigits = 15;
constexpr std::size_t kMaxTimestampDigits = 17;

std::u16string Digits(int value, int width) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value > 0);
  while (static_cast<int>(text.size()) < width) text.insert(text.begin(), u'0');
  return text;
}

// Takes the lock of the folder just made. Until then another run's sweep
// could have taken it for abandoned and removed it; the attempt then fails
// like any other and the next one makes a new folder.
fs::ErrorCode Hold(fs::Folder& hold, std::u16string_view folder) {
  if (hold.Open(folder) && hold.TryLock()) return 0;
  const fs::ErrorCode error = hold.error();
  hold.Close();
  return error;
}

// Deletes everything inside the open folder, each subfolder reached only
// through the one above it and emptied the same way, so that a link is
// removed as the entry it is and never followed; true when all of it went.
bool EmptyFolder(const fs::Folder& folder) {
  bool ok = true;
  for (const fs::FolderEntry& entry : folder.Entries()) {
    if (entry.kind == fs::EntryKind::Folder) {
      fs::Folder sub;
      // A folder swapped for a link since it was listed is not opened.
      const bool emptied = sub.OpenIn(folder, entry.name) && EmptyFolder(sub);
      sub.Close();
      if (!emptied || folder.RemoveFolderEntry(entry.name) != 0) ok = false;
    } else if (folder.RemoveEntry(entry.name) != 0) {
      ok = false;
    }
  }
  return ok;
}

// Deletes the open folder with everything in it.
bool RemoveOpenFolder(fs::Folder& folder, std::u16string_view path) {
  const bool ok = EmptyFolder(folder);
  folder.Close();
  return fs::RemoveEmptyFolder(path) == 0 && ok;
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
  return PathFromBytes(PathToBytes(CollapseDoubledSeparators(PathFromBytes(PathToBytes(candidate)))));
}

std::string BookFolderErrorText(std::u16string_view tempPath, fs::ErrorCode error) {
#if defined(_WIN32)
  static_cast<void>(tempPath);
  std::string text(kBookFolderError);
#else
  // Named as the reader would type it: without the separator that ends it.
  std::u16string_view folder = tempPath;
  if (folder.size() > 1 && folder.back() == fs::kSeparator) folder.remove_suffix(1);
  std::string text = "There was an error creating a temporary folder.\r\nTry cleaning the temporary folder " +
                     ToUtf8(folder) + " and run the ebook again.\r\nError: ";
#endif
  return text + fs::ErrorText(error);
}

bool CreateBookFolder(Application& app, fs::Folder& hold) {
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
    fs::ErrorCode error = app.MakeDirectory(BookFolder);
    if (error == 0) error = Hold(hold, BookFolder);
    if (error == 0) return true;
    if (attempt >= kBookFolderAttempts - 1) {
      ShowErrorMessage(app, BookFolderErrorText(tempPath, error));
      return false;
    }
    BookFolder.clear();
    PauseMs(app, randomPause(random));
  }
}

bool RemoveBookFolder(std::string_view folder) {
  const std::u16string path = PathFromBytes(folder);
  fs::Folder open;
  if (!open.Open(path)) return fs::RemoveEmptyFolder(path) == 0;
  return RemoveOpenFolder(open, path);
}

bool IsBookFolderName(std::u16string_view name) {
  if (name.size() < kBookFolderPrefix.size() + kBookFolderSuffix.size()) return false;
  if (!name.starts_with(kBookFolderPrefix) || !name.ends_with(kBookFolderSuffix)) return false;
  const std::u16string_view digits =
      name.substr(kBookFolderPrefix.size(), name.size() - kBookFolderPrefix.size() - kBookFolderSuffix.size());
  if (digits.size() < kMinTimestampDigits || digits.size() > kMaxTimestampDigits) return false;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

void SweepAbandonedBookFolders(Application& app) {
  const std::u16string temp = app.TempPath();
  fs::Folder tempFolder;
  if (!tempFolder.Open(temp)) return;
  for (const fs::FolderEntry& entry : tempFolder.Entries()) {
    if (entry.kind != fs::EntryKind::Folder || !IsBookFolderName(entry.name)) continue;
    const std::u16string path = temp + entry.name;
    fs::Folder folder;
    // Opening refuses a link put in the folder's place; the lock is held by
    // a live run; another user's folder is theirs to remove.
    if (!folder.Open(path) || !folder.OwnedByUser() || !folder.TryLock()) continue;
    RemoveOpenFolder(folder, path);
    app.ProcessMessages();
  }
}

BookFolderGuard::BookFolderGuard(Application& app, std::u16string_view folder, fs::Folder hold)
    : app_(app), folder_(folder), hold_(std::move(hold)) {
  app_.SetEmergencyCleanup([this] { Remove(); });
}

BookFolderGuard::~BookFolderGuard() {
  app_.SetEmergencyCleanup(nullptr);
  Remove();
}

// What cannot be removed stays, without a message: the run is over. The
// lock goes with the files, before the folder itself.
void BookFolderGuard::Remove() {
  if (removed_) return;
  // A removal that left something (a file still open when the session
  // ended) is tried again when the guard goes.
  removed_ = hold_.is_open() ? RemoveOpenFolder(hold_, folder_) : RemoveBookFolder(PathToBytes(folder_));
}

bool FileExists(std::string_view path) { return fs::IsFile(PathFromBytes(path)); }

}  // namespace pagimor
