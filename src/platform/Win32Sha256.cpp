// SHA-256 through Windows' own cryptography (CNG), so the Windows programs need no other library.
#include <windows.h>
#include <bcrypt.h>

#include "platform/Sha256.h"

namespace velmar {

struct Sha256::Impl {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  Impl() { BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0); }
  ~Impl() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  void Restart() {
    if (hash) BCryptDestroyHash(hash);
    hash = nullptr;
    if (algorithm) BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) { impl_->Restart(); }

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* data, size_t size) {
  // BCryptHashData takes at most 4 GiB at a time.
  while (size > 0 && impl_->hash) {
    const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    BCryptHashData(impl_->hash, const_cast<PUCHAR>(data), piece, 0);
    data += piece;
    size -= piece;
  }
}

void Sha256::Reset() { impl_->Restart(); }

std::string Sha256::HexDigest() {
  UCHAR digest[32];
  std::string text;
  if (impl_->hash && BCryptFinishHash(impl_->hash, digest, sizeof digest, 0) == 0)
    text = HexDigits(digest, sizeof digest);
  impl_->Restart();
  return text;
}

}  // namespace velmar
