#include "platform/NewProgramFile.h"

namespace velmar {

std::string NumberedProgramName(const std::string& name, int number) {
  if (number == 0) return name;
  const size_t dot = name.find_last_of('.');
  const bool has_extension = dot != std::string::npos && dot > 0;
  const std::string stem = has_extension ? name.substr(0, dot) : name;
  const std::string extension = has_extension ? name.substr(dot) : std::string();
  return stem + "-" + std::to_string(number) + extension;
}

}  // namespace velmar
