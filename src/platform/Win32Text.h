#pragma once
// Texts at the Windows boundary: the program keeps UTF-8, the wide ("W") calls take UTF-16.
#include <windows.h>

#include <string>
#include <string_view>

namespace velmar {

// Invalid sequences become U+FFFD rather than failing.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The text of a message-table entry (FormatMessage): the system's, or `module`'s when given,
// without its line ending and final full stop; empty when there is none.
std::string MessageTableText(DWORD code, HMODULE module = nullptr);
// The system's text for an error code; the number when the system has no text.
std::string ErrorText(DWORD code);

}  // namespace velmar
