#include "platform/sha256.h"

#include <algorithm>

#include "platform/win32/winapi.h"

#include <bcrypt.h>

namespace pagimor {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;

  State() {
    ok = BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
         BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

bool Sha256::ok() const { return state_->ok; }

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  // BCrypt takes a ULONG count: large spans go in pieces.
  while (state_->ok && !bytes.empty()) {
    const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
    state_->ok = BCRYPT_SUCCESS(
        ::BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(piece), 0));
    bytes = bytes.subspan(piece);
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  if (!state_->ok || !BCRYPT_SUCCESS(::BCryptFinishHash(state_->hash, digest.data(), digest.size(), 0))) digest.fill(0);
  state_->ok = false;
  return digest;
}

}  // namespace pagimor
