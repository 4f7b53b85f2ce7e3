#include "server/OthersList.h"

#include "server/TagReader.h"

namespace velmar {

void OthersList::Read(std::string& reply) {
  names_.clear();
  TagWalk walk(reply);
  std::string name;
  while (!walk.Finished() && walk.NextElement("af")) {
    walk.ReadField(name, "af");
    names_.push_back(name);
    walk.DropElement();
  }
  reply.clear();
}

int OthersList::NameAt(int index, std::string& name) const {
  name.clear();
  if (index < 0 || index >= Count()) return 0;
  name = names_[static_cast<size_t>(index)];
  return 1;
}

}  // namespace velmar
