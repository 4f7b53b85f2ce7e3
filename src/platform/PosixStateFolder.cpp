#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/StateFolder.h"

namespace velmar {

namespace {

// Creates each missing folder of the path, private to the user; existing ones are left as
// they are (a shared parent such as ~/.local belongs to the user's own choices).
bool MakeFolders(const std::string& path, std::string& error) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    error = path + " is not a folder";
    return false;
  }
  return true;
}

}  // namespace

std::string StateFolder(std::string& error) {
  std::string base;
  // A relative XDG_STATE_HOME is to be ignored, as XDG has it.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = std::string(home) + "/.local/state";
  } else {
    error = "neither XDG_STATE_HOME nor HOME names a folder";
    return {};
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string folder = base + "/velmar";
  if (!MakeFolders(folder, error)) return {};
  return folder;
}

}  // namespace velmar
