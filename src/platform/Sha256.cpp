#include "platform/Sha256.h"

namespace velmar {

std::string HexDigits(const uint8_t* bytes, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  return text;
}

std::string Sha256Hex(const uint8_t* data, size_t size) {
  Sha256 sha;
  sha.Update(data, size);
  return sha.HexDigest();
}

}  // namespace velmar
