#pragma once
// SHA-256 from the system's maintained implementation: OpenSSL's libcrypto
// on Linux, which uses the processor's SHA instructions, and the system's
// own (BCrypt) on Windows.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace pagimor {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256();

  // False when the system could not set the hash up; Update and Finish then
  // do nothing and give zeros.
  [[nodiscard]] bool ok() const;
  void Update(std::span<const std::uint8_t> bytes);
  void Update(std::string_view bytes) {
    Update(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
  // The digest of everything given so far; the object is spent afterwards.
  Sha256Digest Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pagimor
