#include "update/CatalogueComparison.h"

#include <cstring>

#include "device/ToolDevice.h"
#include "server/OptionList.h"
#include "server/VersionInfo.h"

namespace velmar {

ToolReport ToolReport::From(const ToolDevice& tool) {
  ToolReport report;
  report.databases = tool.Databases();
  report.options = tool.Options();
  return report;
}

bool ToolReport::IsOptionActive(uint16_t code) const {
  for (auto entry = options.rbegin(); entry != options.rend(); ++entry)
    if (entry->code == code) return entry->active != 0;
  return false;
}

std::string ToolReport::OptionVersion(uint16_t code) const {
  for (const ToolOption& option : options)
    if (option.code == code) return option.version;
  return std::string();
}

CatalogueComparison CompareCatalogue(const ToolReport& tool, const DatabaseList& databases,
                                     const OptionList& options, const VersionInfo& version) {
  CatalogueComparison result;

  result.marked_databases = databases;
  for (const std::string& name : tool.databases)
    result.marked_databases.MarkInstalled(name.c_str());
  // A tool without any database is not offered the database phase as an update of its own.
  if (result.marked_databases.FilesToLoad() > 0 && !tool.databases.empty())
    result.databases_up_to_date = false;

  for (int i = 0; i < options.Count(); ++i) {
    OptionRecord option;
    if (options.OptionAt(i, option) != 0) continue;
    // ver is zero-terminated inside its array by the reader; bound it all the same.
    const std::string ver(option.ver, strnlen(option.ver, sizeof option.ver));
    if (!tool.IsOptionActive(option.code) || ver.empty()) continue;
    result.selection.Add(option.code);
    if (tool.OptionVersion(option.code) != ver) result.options_up_to_date = false;
    if (option.sd == 1 && version.Sd() == 1) result.sd_card_needed = true;
  }
  return result;
}

}  // namespace velmar
