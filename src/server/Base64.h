#pragma once
#include <string>
#include <string_view>

namespace velmar {

// Base64 of RFC 4648: the standard alphabet, "=" padding, one line without breaks.
std::string EncodeBase64(std::string_view bytes);

}  // namespace velmar
