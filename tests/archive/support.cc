#include "support.h"

#include "platform/sha256.h"

#if !defined(_WIN32)
#include <sys/mount.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

namespace pagimor::test {

ScratchDir::ScratchDir() {
  // A name nobody holds yet, made without the POSIX-only mkdtemp.
  std::random_device seed;
  std::mt19937_64 rng((std::uint64_t{seed()} << 32) ^ seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / ("pagimor-test-" + std::to_string(rng() % 1000000000u));
    if (std::filesystem::create_directory(candidate)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all);
      path_ = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot make a scratch folder in " + base.string());
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

#if defined(_WIN32)
// No small file system to be had: the tests that need one skip.
SmallTmpfs::SmallTmpfs(const std::filesystem::path& at, const std::string& /*size*/) : at_(at) {}
SmallTmpfs::~SmallTmpfs() = default;
#else
SmallTmpfs::SmallTmpfs(const std::filesystem::path& at, const std::string& size) : at_(at) {
  mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

SmallTmpfs::~SmallTmpfs() {
  if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
}
#endif

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Hex(std::u16string_view name) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char16_t u : name) {
    for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(kDigits[(u >> shift) & 0xF]);
  }
  return hex;
}

Entry NamedEntry(std::u16string_view name, std::string data) { return {Hex(name), std::move(data)}; }

std::string Archive(const std::string& countText, const std::vector<Entry>& entries, const std::string& prefix) {
  std::string out = prefix + Header() + countText;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    out += EntryMarker() + entries[i].hexName + NameCloser() + entries[i].data;
    out += i + 1 < entries.size() ? Terminator() : EndMarker();
  }
  return out;
}

std::string Seal(std::string_view archive) {
  Sha256 hash;
  hash.Update(archive);
  std::string hex;
  for (const std::uint8_t byte : hash.Finish()) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return "PAGIMOR-SHA256:" + hex + "\n";
}

std::string Sealed(const std::string& book) { return book + Seal(std::string_view(book).substr(book.find(Header()))); }

std::string SaltedData(std::uint32_t seed, std::size_t size) {
  std::mt19937 rng(seed);
  const std::string pieces[] = {Terminator(), EndMarker(), Header()};
  std::string data;
  data.reserve(size);
  while (data.size() < size) {
    if (rng() % 8 == 0) {
      const std::string& marker = pieces[rng() % 3];
      data += marker.substr(0, 1 + rng() % (marker.size() - 1));  // a proper prefix
    } else {
      data.push_back(static_cast<char>(rng() & 0xFF));
    }
  }
  data.resize(size);
  // Cutting may still have left a whole marker nowhere; a prefix followed by
  // random bytes that happen to complete it is broken up here.
  for (const std::string& marker : {Terminator(), EndMarker()}) {
    for (std::size_t at = data.find(marker); at != std::string::npos; at = data.find(marker, at)) data[at + 1] = 'x';
  }
  return data;
}

std::filesystem::path BuiltProgram(const std::string& name) {
  const char* dir = std::getenv("PAGIMOR_BUILD_DIR");
  return std::filesystem::path(dir != nullptr ? dir : ".") / name;
}

}  // namespace pagimor::test
