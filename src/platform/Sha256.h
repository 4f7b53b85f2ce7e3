#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace velmar {

// The SHA-256 digest of `bytes` as 64 lower-case hex digits (empty if it cannot be computed).
std::string Sha256Hex(std::span<const uint8_t> bytes);

}  // namespace velmar
