#pragma once
// Texts at the Windows boundary: the program keeps UTF-8, the wide ("W") calls take UTF-16.
#include <windows.h>

#include <string>
#include <string_view>

namespace velmar {

// Invalid sequences become U+FFFD rather than failing.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's text for an error code (FormatMessage), without its line ending; the number
// when the system has no text.
std::string ErrorText(DWORD code);

}  // namespace velmar
