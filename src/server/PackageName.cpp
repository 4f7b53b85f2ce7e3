#include "server/PackageName.h"

namespace velmar {

PackageName::PackageName(std::string_view name) : name_(name), base_(name) {
  int dashes = 0;
  for (size_t i = 0; i < name_.size(); ++i) {
    char c = name_[i];
    if (c == '-') {
      ++dashes;
    } else if (dashes == 0) {
      // An empty prefix does not end the search: a name that starts with digits gets the
      // characters before its second digit.
      if (prefix_.empty() && c >= '0' && c <= '9') prefix_ = name_.substr(0, i);
    } else if (dashes == 2) {
      base_ = name_.substr(0, i);
    }
  }
}

}  // namespace velmar
