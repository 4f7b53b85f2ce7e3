// The catalogue comparison as the version check feeds it: the four server replies through the
// tag reader into their lists, and a tool report, all made up. The input holds the parts
// separated by 0xFF bytes: version reply, options reply, databases reply, others reply, then
// the tool's database names and options (code, state, version) one per part.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/OptionList.h"
#include "server/OthersList.h"
#include "server/VersionInfo.h"
#include "update/CatalogueComparison.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> Split(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) {
      parts.emplace_back();
    } else {
      parts.back().push_back(static_cast<char>(data[i]));
    }
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = Split(data, size);
  parts.resize(std::max<size_t>(parts.size(), 4));
  velmar::VersionInfo version;
  version.ReadVersion(parts[0]);
  velmar::OptionList options;
  options.Read(parts[1]);
  velmar::DatabaseList databases;
  databases.Read(parts[2]);
  velmar::OthersList others;
  others.Read(parts[3]);

  velmar::ToolReport tool;
  for (size_t i = 4; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.size() >= 4 && part[0] == 'O') {
      velmar::ToolOption option;
      option.code = static_cast<uint16_t>(static_cast<uint8_t>(part[1]) | static_cast<uint8_t>(part[2]) << 8);
      option.active = static_cast<uint8_t>(part[3]) & 1;
      option.version = part.substr(4, 9);
      tool.options.push_back(option);
    } else {
      tool.databases.push_back(part);
    }
  }
  const velmar::CatalogueComparison result =
      velmar::CompareCatalogue(tool, databases, options, version);
  Check(result.marked_databases.Count() == databases.Count());
  Check(result.marked_databases.FilesToLoad() <= 2 * databases.Count());
  // Comparing twice gives the same answer: nothing is consumed or kept between calls.
  const velmar::CatalogueComparison again =
      velmar::CompareCatalogue(tool, databases, options, version);
  Check(again.databases_up_to_date == result.databases_up_to_date);
  Check(again.options_up_to_date == result.options_up_to_date);
  Check(again.sd_card_needed == result.sd_card_needed);
  return 0;
}
