#include "platform/PrivateFolder.h"
#include "platform/Win32Text.h"

namespace velmar {

// The folders this is asked for live in the user's own profile, whose access list already keeps
// other users out; a missing one is created with the profile's inherited rights.
std::string PreparePrivateFolder(const std::string& path, int) {
  if (CreateDirectoryW(Widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return path + ": " + ErrorText(GetLastError());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return path + " is a link, not a folder";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return path + " is not a folder";
    return {};
  }
  return path + " cannot be created: " + ErrorText(GetLastError());
}

}  // namespace velmar
