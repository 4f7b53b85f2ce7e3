#pragma once
#include <string>

namespace velmar {

// The per-user folder where the program keeps what must outlive a run (the update history),
// created when missing, private to the user. Empty with `error` set when there is none.
std::string StateFolder(std::string& error);

}  // namespace velmar
