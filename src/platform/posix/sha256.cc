#include "platform/sha256.h"

#include <openssl/evp.h>

namespace pagimor {

struct Sha256::State {
  struct Free {
    void operator()(EVP_MD_CTX* owned) const { EVP_MD_CTX_free(owned); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
  bool ok = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->ok = state_->context && EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

bool Sha256::ok() const { return state_->ok; }

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (state_->ok && !bytes.empty()) state_->ok = EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned length = 0;
  if (!state_->ok || EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1 || length != digest.size()) {
    digest.fill(0);
  }
  state_->ok = false;
  return digest;
}

}  // namespace pagimor
