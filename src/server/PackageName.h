#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace velmar {

// A package or database name split into the parts that the matching rules compare.
// The prefix is what stands before the first digit of the first dash-separated part; the base
// is the name cut just before the last character of its third dash-separated part (the whole
// name when that part is missing or empty). "AB12-3-XY": prefix "AB", base "AB12-3-X".
class PackageName {
 public:
  explicit PackageName(std::string_view name);

  const std::string& Name() const { return name_; }
  const std::string& Prefix() const { return prefix_; }
  const std::string& Base() const { return base_; }
  size_t PrefixLength() const { return prefix_.size(); }

 private:
  std::string name_;
  std::string prefix_;
  std::string base_;
};

}  // namespace velmar
