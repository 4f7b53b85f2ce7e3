#include <openssl/evp.h>

#include "platform/Sha256.h"

namespace velmar {

struct Sha256::Impl {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~Impl() { EVP_MD_CTX_free(context); }
  void Restart() { EVP_DigestInit_ex(context, EVP_sha256(), nullptr); }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) { impl_->Restart(); }

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* data, size_t size) {
  if (size != 0) EVP_DigestUpdate(impl_->context, data, size);
}

void Sha256::Reset() { impl_->Restart(); }

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(impl_->context, digest, &length);
  impl_->Restart();
  return HexDigits(digest, length);
}

}  // namespace velmar
