#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmar {

// The decimal value of a reply field as the standard text-to-integer conversion reads it:
// leading blanks skipped, an optional sign, digits up to the first non-digit, 0 without digits.
// Values beyond the 32-bit range saturate instead of being undefined.
int32_t ParseReplyInteger(std::string_view text);

// Copies a reply value into a fixed-size record field with its terminating zero when it fits;
// a value of size or more characters leaves the field empty (it is never cut).
void CopyReplyField(char* field, size_t size, std::string_view value);

template <size_t N>
void CopyReplyField(char (&field)[N], std::string_view value) {
  CopyReplyField(field, N, value);
}

// The text of a fixed-size record field, up to its first zero and never past its end.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

}  // namespace velmar
