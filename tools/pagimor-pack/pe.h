#pragma once
// What the packer reads of a Windows program's own headers: that it is one,
// and where its Authenticode signature lies. A signature is a certificate
// table at the end of the file, which the security entry of the optional
// header's data directories points at (by file offset, not by address).
// Signing a book appends one after the archive; the reader never looks at
// it, since it stops at the end-of-archive marker.

#include <cstdint>
#include <optional>

#include "platform/file.h"

namespace pagimor::pack {

// True when the file starts as every Windows program does, with "MZ".
bool IsWindowsProgram(const fs::InputFile& file);

struct SecurityDirectory {
  std::int64_t checksumOffset = 0;  // of the 4-byte file checksum, which signing tools set
  std::int64_t entryOffset = 0;     // of the 8-byte entry itself, in the optional header
  std::int64_t tableOffset = 0;     // of the certificate table; 0 when unsigned
  std::int64_t tableSize = 0;
};

// The security entry of a PE program; nothing when the file is none or its
// headers do not hold the entry.
std::optional<SecurityDirectory> ReadSecurityDirectory(const fs::InputFile& file);

// True when the bytes from offset to the end of the file are a certificate
// table: entries with a plausible length, revision and type, each padded to
// 8 bytes, filling it to the end.
bool IsCertificateTable(const fs::InputFile& file, std::int64_t offset);

}  // namespace pagimor::pack
