#include "vxwebtest/archive.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/text.h"
#include "vxwebtest/search.h"

namespace pagimor {
namespace {

constexpr std::size_t kBlockSize = 1024;
// A kernel-side copy processes messages after every piece of this size.
constexpr std::int64_t kCopyPiece = 256 * 1024;

// Offsets past the signed 32-bit range cannot be told apart from garbage:
// they saturate, which puts them beyond any file the reader accepts.
std::int32_t Saturate(std::int64_t value) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  if (value > kMax) return kMax;
  if (value < -1) return -1;
  return static_cast<std::int32_t>(value);
}

std::int32_t ToOffset(const detail::ScanResult& result) {
  if (result.status != detail::ScanStatus::Found) return kNotFound;
  if (result.offset > std::numeric_limits<std::int32_t>::max()) return kNotFound;
  return static_cast<std::int32_t>(result.offset);
}

// "Error by 13", and on a line of its own the system's reason when it gave
// one: a full disk must say so.
std::string WriteFailure(const fs::OutputFile& target) {
  std::string text = "Error by 13";
  if (target.error() != 0) text += "\r\n" + fs::ErrorText(target.error());
  return text;
}

// The destination could not be made: its number, and on a line of its own
// the system's reason, which a disk out of room for new files must give.
std::string CreateFailure(fs::ErrorCode error) {
  std::string text = "Error writing to disk. Error number: " + std::to_string(error);
  if (error != 0) text += "\r\n" + fs::ErrorText(error);
  return text;
}

// Copies length bytes of source from offset into target; true when all of
// them were written. The kernel copies while it can; the block loop takes
// over where it cannot, and tells a failed read from a failed write. A
// failure ends the copy after its one message rather than once for every
// remaining block; a source that ends before the range counts as a failed
// read, since the destination would lack bytes.
bool CopyBytes(const fs::InputFile& source, std::int64_t offset, std::int64_t length, fs::OutputFile& target,
               ArchiveHost& host) {
  std::int64_t copied = 0;
  while (copied < length) {
    const std::int64_t n = target.CopyFrom(source, offset, std::min(length - copied, kCopyPiece));
    host.ProcessMessages();
    if (n <= 0) break;
    copied += n;
    offset += n;
  }
  std::array<std::uint8_t, kBlockSize> buffer{};
  while (copied < length) {
    const std::int64_t got = source.ReadAt(offset, buffer);
    host.ProcessMessages();
    if (got <= 0) {
      host.ShowPlainMessage("Error by 12");
      return false;
    }
    const std::int64_t pass = std::min(got, length - copied);
    if (!target.Write(std::span(buffer).first(static_cast<std::size_t>(pass)))) {
      host.ShowPlainMessage(WriteFailure(target));
      return false;
    }
    copied += pass;
    offset += pass;
  }
  return true;
}

}  // namespace

std::u16string ArchiveReader::RefuseName() const {
  host_.ShowLangMessage(kBadNameMessage, LangMessageType::Error, ButtonBit(LangMessageButton::OK), 0, 0);
  abort_ = true;
  return std::u16string(kRefusedName);
}

std::int32_t ArchiveReader::FindMarker(std::string_view marker) const {
  const fs::InputFile file(container_);
  if (!file.is_open()) {
    host_.ShowPlainMessage("Error by 3");
    // The first block read cannot take place either.
    host_.ProcessMessages();
    host_.ShowPlainMessage("Error by 1");
    return kNotFound;
  }
  const detail::ScanResult result = detail::ScanFile(file, 0, marker, host_);
  if (result.status == detail::ScanStatus::ReadFailed) host_.ShowPlainMessage("Error by 1");
  return ToOffset(result);
}

std::int32_t ArchiveReader::FindMarkerFrom(std::string_view marker, std::int32_t start) const {
  const fs::InputFile file(container_);
  if (!file.is_open()) {
    host_.ShowPlainMessage("Error by 5");
    return kNotFound;
  }
  const detail::ScanResult result = detail::ScanFile(file, start < 0 ? 0 : start, marker, host_);
  if (result.status == detail::ScanStatus::ReadFailed) host_.ShowPlainMessage("Error by 4");
  return ToOffset(result);
}

Bytes ArchiveReader::ReadFileCount(std::int32_t headerOffset, std::int32_t& nextEntry) const {
  const fs::InputFile file(container_);
  if (!file.is_open()) host_.ShowPlainMessage("Error by 6");
  std::array<std::uint8_t, 3> buffer{};
  const std::int64_t got = file.ReadAt(std::int64_t{headerOffset} + kHeaderMarkerLength, buffer);
  host_.ProcessMessages();
  if (got < 0) host_.ShowPlainMessage("Error by 7");
  Bytes count;
  for (std::int64_t i = 0; i < got; ++i) {
    const auto b = buffer[static_cast<std::size_t>(i)];
    if (b != '<') count.push_back(static_cast<char>(b));
  }
  nextEntry = Saturate(std::int64_t{headerOffset} + kHeaderMarkerLength + static_cast<std::int64_t>(count.size()));
  return count;
}

std::u16string ArchiveReader::ReadEntryName(std::int32_t entryOffset, std::int32_t& dataStart) const {
  Bytes hex;
  {
    const fs::InputFile file(container_);
    if (!file.is_open()) host_.ShowPlainMessage("Error by 8");
    std::array<std::uint8_t, kNameWindow> buffer{};
    const std::int64_t got = file.ReadAt(std::int64_t{entryOffset} + kEntryMarkerLength, buffer);
    host_.ProcessMessages();
    if (got < 0) host_.ShowPlainMessage("Error by 9");
    for (std::int64_t i = 0; i < got && buffer[static_cast<std::size_t>(i)] != ')'; ++i) {
      hex.push_back(static_cast<char>(buffer[static_cast<std::size_t>(i)]));
    }
  }
  dataStart = Saturate(DataStartOf(entryOffset, static_cast<std::int64_t>(hex.size())));
  const bool alreadyAborted = abort_;
  abort_ = false;
  std::u16string name = DecodeHexName(hex);
  const bool refused = abort_;
  abort_ = alreadyAborted || refused;
  if (refused) return name;
  // The name becomes a file inside the book folder, in folders of its own
  // when it is a path: anything else could reach outside the folder or
  // mean a device.
  if (!IsEntryName(name)) return RefuseName();
  return name;
}

std::u16string ArchiveReader::DecodeHexName(std::string_view hex) const {
  std::optional<std::u16string> name = DecodeHexUnits(hex);
  if (!name) return RefuseName();
  return std::move(*name);
}

bool ArchiveReader::CopyRange(std::int32_t start, std::int32_t end, std::u16string_view destination,
                              std::int32_t& nextEntry) const {
  fs::OutputFile target;
  const fs::ErrorCode created = target.Create(destination) ? 0 : target.error();
  return CopyInto(start, end, target, created, nextEntry);
}

bool ArchiveReader::CopyRange(std::int32_t start, std::int32_t end, const fs::Folder& root, std::u16string_view path,
                              std::int32_t& nextEntry, unsigned fileMode, unsigned folderMode) const {
  fs::OutputFile target;
  const fs::ErrorCode created = fs::CreateInTree(root, path, target, fileMode, folderMode);
  return CopyInto(start, end, target, created, nextEntry);
}

// The copy once the destination has been tried: created is 0 when it was
// made, else the system's reason.
bool ArchiveReader::CopyInto(std::int32_t start, std::int32_t end, fs::OutputFile& target, fs::ErrorCode created,
                             std::int32_t& nextEntry) const {
  const fs::InputFile source(container_);
  if (!source.is_open()) host_.ShowPlainMessage("Error by 10");
  if (created != 0) {
    host_.ShowPlainMessage(CreateFailure(created));
    return false;
  }
  const bool positioned = source.is_open() && start >= 0;
  if (!positioned) host_.ShowPlainMessage("Error by 11");

  bool complete = false;
  if (!positioned) {
    // Not one block can be read; one message says so, not one per block.
    host_.ProcessMessages();
    host_.ShowPlainMessage("Error by 12");
  } else {
    complete = CopyBytes(source, start, std::int64_t{end} - start, target, host_);
  }
  // The last writes may fail only now; a copy that has failed already has
  // said so.
  if (!target.Close() && complete) {
    host_.ShowPlainMessage(WriteFailure(target));
    complete = false;
  }
  nextEntry = Saturate(NextEntryAfter(end));
  return complete;
}

Bytes ArchiveReader::ReadBytes(std::int64_t offset, std::size_t length) const {
  Bytes bytes(length, '\0');
  const fs::InputFile file(container_);
  const std::int64_t got =
      file.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return bytes;
}

}  // namespace pagimor
