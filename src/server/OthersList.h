#pragma once
#include <string>
#include <vector>

namespace velmar {

// The other packages the server offers ("list_oth"): one name per "af" element, in reply order.
class OthersList {
 public:
  // Replaces the list with the "af" elements of reply, empty ones included. The walk consumes
  // the reply: it is empty afterwards.
  void Read(std::string& reply);
  void Clear() { names_.clear(); }
  int Count() const { return static_cast<int>(names_.size()); }
  // Empties name; copies the name at index and returns 1, or returns 0.
  int NameAt(int index, std::string& name) const;

 private:
  std::vector<std::string> names_;
};

}  // namespace velmar
