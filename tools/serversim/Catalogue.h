#pragma once
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmar::serversim {

// A tag and its text, in the order the reply carries them.
using TagValues = std::vector<std::pair<std::string, std::string>>;

struct SoftwareOffer {
  std::string version;  // the newest version offered to the tool ("newVersion")
  std::string package;  // zip file in the catalogue folder
  // Versions whose tools get this package on "download_version"; when empty, every version up
  // to `version` (a tool is never served a downgrade).
  std::vector<std::string> from;
};

struct DatabasePairEntry {
  std::string dbs, rel;
};

// What the server knows about one tool (or, with serial "*", any other tool).
struct ToolEntry {
  std::string serial;
  std::optional<std::string> texte;
  std::optional<SoftwareOffer> software;
  // Version reply fields; absent ones are left out of the reply.
  std::optional<std::string> versionValid, serverMsg, usb, sd, rs;
  std::optional<std::string> zone, cntry;
  std::vector<DatabasePairEntry> databases;
  std::vector<TagValues> options;  // tags among code, name, desc, base, sigle, ver, set,
                                   // visible, edit, sd, in that order
  std::vector<std::string> others;
};

// The catalogue folder: "catalog.json" and the package zip files it names.
//
//   {"texte": "...", "cdata": false,
//    "packages": {"EUR24-1-A": "db-eur24-1-a.zip", ...},
//    "tools": [{"serial": "QL7-12-000123" | "*", "texte": "...",
//               "software": {"version": "1.10", "package": "main.zip", "from": ["1.00"]},
//               "versionValid": "1", "serverMsg": "...", "usb": "QL-5-1", "sd": 1, "rs": 4660,
//               "zone": 2, "cntry": 33,
//               "databases": [{"dbs": "EUR24-1-A", "rel": "EUR24-1-B"}],
//               "options": [{"code": 1, "name": "...", "ver": "OBD10-2-A", ...}],
//               "others": ["LNG1.04"]}]}
//
// Numbers may be written as JSON numbers or strings; they are sent as text.
class Catalogue {
 public:
  // Reads `path`: a catalogue folder (its catalog.json) or the JSON file itself.
  bool Load(const std::string& path, std::string& error);
  bool Parse(const std::string& jsonText, const std::string& folder, std::string& error);

  // The entry for that serial number: the exact one, else the "*" entry, else none.
  const ToolEntry* FindTool(const std::string& serial) const;
  // Path of the zip file of a named package; empty when the catalogue has none.
  std::string PackagePath(const std::string& name) const;
  std::string FilePath(const std::string& file) const;

  const std::string& Texte() const { return texte_; }
  // Free texts (texte, serverMsg, option names and descriptions) go out wrapped in CDATA.
  bool UseCdata() const { return cdata_; }
  const std::string& Folder() const { return folder_; }
  const std::vector<ToolEntry>& Tools() const { return tools_; }

 private:
  std::string folder_;
  std::string texte_;
  bool cdata_ = false;
  std::map<std::string, std::string> packages_;
  std::vector<ToolEntry> tools_;
};

// Natural order of version texts: digit runs compare as numbers, everything else byte by byte.
// Negative, 0 or positive like strcmp.
int CompareVersions(const std::string& a, const std::string& b);

}  // namespace velmar::serversim
