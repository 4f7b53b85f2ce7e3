#pragma once
#include <string>
#include <string_view>

namespace velmar {

// Percent-encodes a form value: every byte other than letters, digits and "-", ".", "_", "~"
// becomes "%XX" (upper-case hex), so that "&", "=", "+" or "%" in a serial number or package
// name can neither split the form nor add fields. Values made only of those characters go out
// unchanged.
std::string EncodeFormValue(std::string_view value);

}  // namespace velmar
