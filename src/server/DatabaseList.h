#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

// A pair of vehicle database packages as the server lists it ("duo"): the first ("dbs") and
// the second ("rel") package name, at most 29 characters each.
struct DatabasePair {
  char dbs[30] = {};
  char rel[30] = {};
  int32_t matches = 0;  // installed names counted against this pair
  int32_t load = 0;     // 1 while the pair is to be loaded into the tool
};

// The database packages the server offers ("list_dbs"), with the region and country codes
// written into the tool before they are loaded.
class DatabaseList {
 public:
  static constexpr uint16_t kDefaultZone = 1;

  // Replaces the list with the content of reply. The walk consumes the reply: it is empty
  // afterwards.
  void Read(std::string& reply);
  // zone 1, country 0, no pairs; the cursor stays where it is.
  void Clear();

  int Count() const { return static_cast<int>(pairs_.size()); }
  uint16_t Zone() const { return zone_; }
  uint16_t Country() const { return cntry_; }
  // A copy of the pair at index, or an all-zero pair when there is none.
  DatabasePair PairAt(int index) const;

  // Counts a database name that the tool reports as installed; a pair whose two names were
  // both counted is not loaded. A null name does nothing.
  void MarkInstalled(const char* name);
  void SelectAll();
  // Two names for every pair to be loaded, even when one of them is empty.
  int FilesToLoad() const;
  void Rewind() { cursor_ = 0; }
  // The next non-empty name of a pair to be loaded, or an empty name when none is left.
  void NextFileToLoad(std::string& name);

 private:
  uint16_t zone_ = kDefaultZone;
  uint16_t cntry_ = 0;
  int32_t cursor_ = 0;
  std::vector<DatabasePair> pairs_;
};

}  // namespace velmar
