#pragma once
#include <string>
#include <vector>

#include "device/ToolTypes.h"
#include "server/DatabaseList.h"
#include "server/OptionCodeSet.h"

namespace velmar {

class OptionList;
class ToolDevice;
class VersionInfo;

// What the tool reported in its last identity read: the databases it has installed (in its
// order) and its options.
struct ToolReport {
  std::vector<std::string> databases;
  std::vector<ToolOption> options;

  // The lists the tool facade holds after ReadOptions and ReadDatabases.
  static ToolReport From(const ToolDevice& tool);

  // The tool facade's rules: active when the last entry with the code is active; the version
  // is the first entry's with the code (empty when it has none).
  bool IsOptionActive(uint16_t code) const;
  std::string OptionVersion(uint16_t code) const;
};

// The choices of an update, from the server's catalogue and the tool's report.
struct CatalogueComparison {
  bool databases_up_to_date = true;
  bool options_up_to_date = true;
  bool sd_card_needed = false;
  // The options to load, in catalogue order: every option the tool has active and the
  // catalogue gives a version ("ver") for, whether that version differs or not.
  OptionCodeSet selection;
  // The catalogue's database list with the installed databases counted against it.
  DatabaseList marked_databases;
};

// Compares the catalogue with the tool's report.
//
// The installed databases are counted against a copy of `databases`, so that comparing again
// (after the main software was loaded and the tool re-read) counts each name once, not once per
// comparison; the caller's list is left as it is.
CatalogueComparison CompareCatalogue(const ToolReport& tool, const DatabaseList& databases,
                                     const OptionList& options, const VersionInfo& version);

}  // namespace velmar
