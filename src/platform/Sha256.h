#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace velmar {

// SHA-256 fed piece by piece; the digest as 64 lower-case hexadecimal characters.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const uint8_t* data, size_t size);
  // Forgets what was fed.
  void Reset();
  // The digest of everything fed since the start or the last call; starts afresh after it.
  std::string HexDigest();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

std::string Sha256Hex(const uint8_t* data, size_t size);
// Bytes as lower-case hexadecimal digits, two a byte.
std::string HexDigits(const uint8_t* bytes, size_t size);
inline std::string Sha256Hex(std::span<const uint8_t> bytes) { return Sha256Hex(bytes.data(), bytes.size()); }

}  // namespace velmar
