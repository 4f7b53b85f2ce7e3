#include "server/OptionList.h"

#include "server/ReplyFields.h"
#include "server/TagReader.h"

namespace velmar {

void OptionList::Read(std::string& reply) {
  options_.clear();
  TagWalk walk(reply);
  std::string value;
  while (!walk.Finished() && walk.NextElement("option")) {
    OptionRecord& record = options_.emplace_back();
    walk.ReadField(value, "name");
    CopyReplyField(record.name, value);
    walk.ReadField(value, "desc");
    CopyReplyField(record.desc, value);
    walk.ReadField(value, "base");
    CopyReplyField(record.base, value);
    walk.ReadField(value, "sigle");
    CopyReplyField(record.sigle, value);
    walk.ReadField(value, "ver");
    CopyReplyField(record.ver, value);
    walk.ReadField(value, "code");
    record.code = static_cast<uint16_t>(ParseReplyInteger(value));
    walk.ReadField(value, "set");
    record.set = value.empty() ? 0 : static_cast<uint8_t>(ParseReplyInteger(value));
    walk.ReadField(value, "visible");
    record.visible = value.empty() ? 0 : ParseReplyInteger(value);
    walk.ReadField(value, "sd");
    record.sd = value.empty() ? 0 : ParseReplyInteger(value);
    walk.ReadField(value, "edit");
    record.edit = value.empty() ? 1 : ParseReplyInteger(value);
    walk.DropElement();
  }
  reply.clear();
}

int OptionList::OptionAt(int index, OptionRecord& record) const {
  record = OptionRecord{};
  if (index < 0 || index >= Count()) return -1;
  record = options_[static_cast<size_t>(index)];
  return 0;
}

int OptionList::FindByCode(uint16_t code, OptionRecord& record) const {
  record = OptionRecord{};
  int result = -1;
  for (const OptionRecord& option : options_) {
    if (option.code != code) continue;
    record = option;
    result = 0;
  }
  return result;
}

bool OptionList::AnyVisible() const {
  for (const OptionRecord& option : options_) {
    if (option.visible == 1) return true;
  }
  return false;
}

}  // namespace velmar
