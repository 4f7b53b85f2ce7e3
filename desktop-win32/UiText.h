#pragma once
#include <string>

namespace velmar {

// A text of the string table in the current language, as the wide calls take it. (A function
// of its own: <windows.h> turns the name LoadString into a macro.)
std::wstring UiText(int string_id);

}  // namespace velmar
