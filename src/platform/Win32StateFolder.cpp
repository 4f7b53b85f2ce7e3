#include "platform/LocalFiles.h"
#include "platform/StateFolder.h"
#include "platform/Win32Text.h"

namespace velmar {

// %LOCALAPPDATA%\Velmar: the user's own, not roaming with the profile.
std::string StateFolder(std::string& error) {
  const std::optional<std::string> base = UserStateFolder();
  if (!base) {
    error = "the local application-data folder is not known";
    return {};
  }
  const std::string folder = *base + "\\Velmar";
  if (!CreateDirectoryW(Widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    error = "cannot create " + folder + ": " + ErrorText(GetLastError());
    return {};
  }
  return folder;
}

}  // namespace velmar
