#include "server/DatabaseList.h"

#include <cstring>

#include "server/PackageName.h"
#include "server/ReplyFields.h"
#include "server/TagReader.h"

namespace velmar {

void DatabaseList::Clear() {
  zone_ = kDefaultZone;
  cntry_ = 0;
  pairs_.clear();
}

void DatabaseList::Read(std::string& reply) {
  Clear();
  std::string value;
  TagReader::ReadTag(reply, value, "zone");
  zone_ = static_cast<uint16_t>(ParseReplyInteger(value));
  TagReader::ReadTag(reply, value, "cntry");
  cntry_ = static_cast<uint16_t>(ParseReplyInteger(value));

  TagWalk walk(reply);
  while (!walk.Finished() && walk.NextElement("duo")) {
    DatabasePair& pair = pairs_.emplace_back();
    pair.matches = 0;
    pair.load = 1;
    walk.ReadField(value, "dbs");
    CopyReplyField(pair.dbs, value);
    walk.ReadField(value, "rel");
    CopyReplyField(pair.rel, value);
    walk.DropElement();
  }
  reply.clear();
}

DatabasePair DatabaseList::PairAt(int index) const {
  if (index < 0 || index >= Count()) return DatabasePair{};
  return pairs_[static_cast<size_t>(index)];
}

void DatabaseList::MarkInstalled(const char* name) {
  if (name == nullptr) return;
  PackageName package(name);
  const std::string& base = package.Base();
  size_t prefix_length = package.PrefixLength();
  for (DatabasePair& pair : pairs_) {
    // Read leaves every name zero-terminated inside its array.
    // The two names of a pair often share their prefix: a name that is not the first one's
    // may still be the second one's.
    if (std::strncmp(name, pair.dbs, prefix_length) == 0 && base == FieldText(pair.dbs)) {
      ++pair.matches;
    } else if (std::strncmp(name, pair.rel, prefix_length) == 0 && base == FieldText(pair.rel)) {
      ++pair.matches;
    }
    if (pair.matches == 2) pair.load = 0;
  }
}

void DatabaseList::SelectAll() {
  for (DatabasePair& pair : pairs_) pair.load = 1;
}

int DatabaseList::FilesToLoad() const {
  int files = 0;
  for (const DatabasePair& pair : pairs_) {
    if (pair.load == 1) files += 2;
  }
  return files;
}

void DatabaseList::NextFileToLoad(std::string& name) {
  name.clear();
  while (name.empty()) {
    if (cursor_ < 0 || static_cast<size_t>(cursor_) / 2 >= pairs_.size()) return;
    const DatabasePair& pair = pairs_[static_cast<size_t>(cursor_) / 2];
    if (pair.load == 1) name.assign(cursor_ % 2 == 0 ? FieldText(pair.dbs) : FieldText(pair.rel));
    ++cursor_;
  }
}

}  // namespace velmar
