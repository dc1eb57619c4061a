#pragma once
// The reader of a book archive appended to a container file: the viewer's
// own program file, or the book the packer is given.
//
// Every routine opens the container afresh, works through one fixed-size
// window of the file, lets the host process its window messages after every
// block and closes the file again before it returns. A failing step is
// reported on the spot through the host and the routine goes on with its
// next step.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "MessDlgs/LangMessageTypes.h"
#include "platform/file.h"
#include "vxwebtest/format.h"

namespace pagimor {

// What the archive routines need from the program that runs them.
class ArchiveHost {
 public:
  virtual ~ArchiveHost() = default;
  // Processes pending window messages once; called after every block.
  virtual void ProcessMessages() = 0;
  // The plain message box, for the numbered step failures.
  virtual void ShowPlainMessage(std::string_view text) = 0;
  // The program's own message dialog.
  virtual std::int32_t ShowLangMessage(std::string_view text, LangMessageType type,
                                       LangMessageButtons buttons, std::int32_t helpContext,
                                       MessageLanguage language) = 0;
};

// A host without windows that keeps every message to itself: for tools that
// judge the results rather than the messages.
class SilentArchiveHost final : public ArchiveHost {
 public:
  void ProcessMessages() override {}
  void ShowPlainMessage(std::string_view) override {}
  std::int32_t ShowLangMessage(std::string_view, LangMessageType, LangMessageButtons, std::int32_t,
                               MessageLanguage) override {
    return 1;
  }
};

// The message shown for a name that cannot be used; its two lines are joined
// by a carriage return and a line feed.
inline constexpr std::string_view kBadNameMessage =
    "There was an error reading the ebook.\r\n"
    "The included filename could not be read. Closing program.";

// The name given back for an entry whose name was refused.
inline constexpr std::u16string_view kRefusedName = u"EConvertError";

// The routines over one container. The reader keeps no file open between
// calls; it reports through host, and sets abortFlag when a name cannot be
// decoded or cannot stand inside the book folder (the viewer passes its
// AbortExtraction, which stops its extraction).
class ArchiveReader {
 public:
  ArchiveReader(std::u16string_view container, ArchiveHost& host, bool& abortFlag)
      : container_(container), host_(host), abort_(abortFlag) {}

  [[nodiscard]] const std::u16string& container() const { return container_; }
  [[nodiscard]] ArchiveHost& host() const { return host_; }
  [[nodiscard]] bool aborted() const { return abort_; }
  void ClearAbort() const { abort_ = false; }

  // Offset of the first occurrence of marker in the container, or -1.
  std::int32_t FindMarker(std::string_view marker) const;

  // Offset of the first occurrence at or after start, counted from the
  // file's first byte, or -1.
  std::int32_t FindMarkerFrom(std::string_view marker, std::int32_t start) const;

  // The count text after the header at headerOffset, '<' bytes left out;
  // sets nextEntry to the offset of the first entry marker.
  Bytes ReadFileCount(std::int32_t headerOffset, std::int32_t& nextEntry) const;

  // The name of the entry at entryOffset; sets dataStart before the name is
  // decoded. A name that cannot be decoded or cannot stand inside the book
  // folder is refused: the message, the abort flag set, and kRefusedName
  // given back.
  std::u16string ReadEntryName(std::int32_t entryOffset, std::int32_t& dataStart) const;

  // Decodes a hex text of 4-digit UTF-16 code units; 1 to 3 trailing
  // characters are ignored. A bad group is refused as in ReadEntryName.
  std::u16string DecodeHexName(std::string_view hex) const;

  // Writes the bytes of the container from start up to, not including, end
  // into a new file at destination and sets nextEntry to end + 15. True only
  // when the destination holds all of those bytes; false after the one
  // message that says why: the destination could not be created (nextEntry
  // then keeps its value), or a read, a write or the final close failed.
  bool CopyRange(std::int32_t start, std::int32_t end, std::u16string_view destination,
                 std::int32_t& nextEntry) const;

  // The same into the entry at path (its components joined by '/') inside
  // root: each folder on the way is made inside the one above with
  // folderMode, never through a link, and the file with fileMode.
  bool CopyRange(std::int32_t start, std::int32_t end, const fs::Folder& root, std::u16string_view path,
                 std::int32_t& nextEntry, unsigned fileMode = 0600, unsigned folderMode = 0700) const;

  // Up to length bytes at offset of the container; fewer at its end.
  Bytes ReadBytes(std::int64_t offset, std::size_t length) const;

 private:
  std::u16string RefuseName() const;
  bool CopyInto(std::int32_t start, std::int32_t end, fs::OutputFile& target, fs::ErrorCode created,
                std::int32_t& nextEntry) const;

  std::u16string container_;
  ArchiveHost& host_;
  bool& abort_;
};

}  // namespace pagimor
