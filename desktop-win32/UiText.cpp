#include "UiText.h"

#include "app/Strings.h"
#include "platform/Win32Text.h"

namespace velmar {

#ifdef LoadString
#undef LoadString
#endif

std::wstring UiText(int string_id) { return Widen(LoadString(string_id)); }

}  // namespace velmar
