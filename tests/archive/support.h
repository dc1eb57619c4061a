#pragma once
// Shared pieces of the archive tests: a host that records what the reader
// reports, a scratch folder, and a writer of archive bytes that is
// independent of the packer, so malformed books can be made on purpose.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "vxwebtest/archive.h"

#if defined(_WIN32)
#include <winerror.h>
#else
#include <cerrno>
#endif

namespace pagimor::test {

// The markers as the format defines them, put together here so that the
// test sources never hold a plain marker in one piece.
inline std::string Header() { return std::string("<<##QUOMAR") + "1.0##>>"; }
inline std::string Terminator() { return std::string("<<##QUOMAR") + "-->>>"; }
inline std::string EndMarker() { return std::string("<<##QUOMAR") + "EOF##>>"; }
inline std::string EntryMarker() { return std::string("<<##QUOMAR") + "FILE("; }
inline std::string NameCloser() { return ")##>>"; }

// The text by which the packer knows a Pagimor viewer, put together here
// like the markers.
inline std::string ViewerTag() { return std::string("<Pagimor viewer ") + "5e1f0c7a>"; }

// A file the packer takes for a viewer: a program's first bytes (ELF, or MZ
// for Windows), then body, then the viewer's tag.
inline std::string ViewerStub(bool windows = false, std::string_view body = " stub viewer ") {
  return (windows ? std::string("MZ") : std::string("\x7F" "ELF")) + std::string(body) + ViewerTag();
}

// The system's code for a file made in a folder that is not there.
#if defined(_WIN32)
inline constexpr fs::ErrorCode kNoSuchFolder = ERROR_PATH_NOT_FOUND;
#else
inline constexpr fs::ErrorCode kNoSuchFolder = ENOENT;
#endif

class RecordingHost final : public ArchiveHost {
 public:
  void ProcessMessages() override { ++pumps; }
  void ShowPlainMessage(std::string_view text) override { plain.emplace_back(text); }
  std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                               std::int32_t helpContext, MessageLanguage language) override {
    lang.emplace_back(text);
    langArgsOk = langArgsOk && type == LangMessageType::Error && buttons == ButtonBit(LangMessageButton::OK) &&
                 helpContext == 0 && language == 0;
    return 1;
  }
  int pumps = 0;
  std::vector<std::string> plain;
  std::vector<std::string> lang;
  bool langArgsOk = true;
};

// A fresh folder under the system's temporary directory, removed at the end.
class ScratchDir {
 public:
  ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A small tmpfs mounted over a folder for as long as the object lives, to
// fill a disk on purpose; mounted() is false where the test may not mount
// (not root).
class SmallTmpfs {
 public:
  SmallTmpfs(const std::filesystem::path& at, const std::string& size);
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  ~SmallTmpfs();
  [[nodiscard]] bool mounted() const { return mounted_; }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// Upper-case hex of a UTF-8 name's UTF-16 units.
std::string Hex(std::u16string_view name);

struct Entry {
  std::string hexName;  // as written after the entry marker
  std::string data;
};

// prefix + header + count + entries, each closed by the terminator but the
// last, which the end-of-archive marker closes.
std::string Archive(const std::string& countText, const std::vector<Entry>& entries, const std::string& prefix = "MZ");
Entry NamedEntry(std::u16string_view name, std::string data);

// The trailer that seals an archive: its SHA-256 in lower-case hex after
// the prefix, and a line feed.
std::string Seal(std::string_view archive);
// The book with the trailer for its archive (from its header marker) added.
std::string Sealed(const std::string& book);

// Random bytes with marker prefixes salted in, never a whole terminator or
// end-of-archive marker.
std::string SaltedData(std::uint32_t seed, std::size_t size);

// Path of a built program, from the build folder ctest passes in.
std::filesystem::path BuiltProgram(const std::string& name);

}  // namespace pagimor::test
