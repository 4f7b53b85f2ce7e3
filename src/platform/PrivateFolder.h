#pragma once
#include <string>

namespace velmar {

// A folder whose contents the program believes (registered ports, the instance lock) must be
// the user's own: anyone else able to put entries there could plant a port or a lock.
//
// Makes `path` and up to `levels - 1` folders above it private to this user: a missing one is
// created with mode 0700; an existing one must be a real folder (not a link), owned by this
// user and writable by nobody else. Returns an empty text when the folder can be used, else one
// line that says why not.
std::string PreparePrivateFolder(const std::string& path, int levels = 1);

}  // namespace velmar
