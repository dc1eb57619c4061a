#pragma once
// The book folder: one fresh, private folder per run in the temporary
// directory, holding the book's files (in folders of their own when the
// book is a tree); removed with all of them at the end of the run.

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace pagimor {

// The folder of this run, without a trailing separator.
extern std::u16string BookFolder;

inline constexpr std::u16string_view kBookFolderPrefix = u"zel";
inline constexpr std::u16string_view kBookFolderSuffix = u"VXEbook";
inline constexpr int kBookFolderAttempts = 12;
inline constexpr std::string_view kBookFolderError =
    "There was an error creating a temporary folder.\r\n"
    "Try cleaning the Windows temporary folder and run the ebook again.\r\n"
    "Error: ";

// What the reader is told when no folder could be made in tempPath, the
// system's reason for the last failure at its end. On Windows the text
// above; elsewhere there is no Windows temporary folder to clean, and the
// folder is named, since it may be set anywhere.
std::string BookFolderErrorText(std::u16string_view tempPath, fs::ErrorCode error);

// "yyyymmddhhnnssz": the milliseconds come last, without leading zeros.
std::u16string FolderTimestamp(const LocalTime& time);

// Replaces every two separators in a row by one, in one pass from the left.
std::u16string CollapseDoubledSeparators(std::u16string_view path);

// Makes the folder's name from the temporary path and the time, as it
// stands after a pass through the 8-bit encoding.
std::u16string MakeBookFolderName(std::u16string_view tempPath, const LocalTime& time);

// Up to twelve attempts with random pauses between them; on failure shows
// the message with the system's text for the last error and returns false.
// The folder made is locked at once through hold, which the run keeps until
// it removes the folder: the lock tells other runs that it is in use.
bool CreateBookFolder(Application& app, fs::Folder& hold);

// Deletes everything inside folder (an 8-bit path), subfolders included
// but never what a link points to, then the folder; true when all of it went.
bool RemoveBookFolder(std::string_view folder);

// True for the name of a book folder: the prefix, 15 to 17 digits, the suffix.
bool IsBookFolderName(std::u16string_view name);

// Removes the book folders that runs of this user left in the temporary
// directory when they were killed: real folders, not links, of the user,
// with a book folder's name, whose lock nobody holds. A live run's folder
// is locked and stays.
void SweepAbandonedBookFolders(Application& app);

// This run's book folder from its creation on: removes it, with every file
// in it, when the guard goes, on whichever road the run ends, and also when
// the desktop ends the process at once (the emergency cleanup). Keeps the
// folder's lock until then.
class BookFolderGuard {
 public:
  BookFolderGuard(Application& app, std::u16string_view folder, fs::Folder hold);
  BookFolderGuard(const BookFolderGuard&) = delete;
  BookFolderGuard& operator=(const BookFolderGuard&) = delete;
  ~BookFolderGuard();

  // The folder, held open: the extraction makes the book's files and
  // folders through it.
  [[nodiscard]] const fs::Folder& held() const { return hold_; }

 private:
  void Remove();

  Application& app_;
  std::u16string folder_;
  fs::Folder hold_;
  bool removed_ = false;
};

// True when a file, not a folder, stands at path (an 8-bit path).
bool FileExists(std::string_view path);

}  // namespace pagimor
