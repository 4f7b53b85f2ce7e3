#pragma once
#include <string>
#include <unordered_map>

namespace velmar {

// The string table's languages, each an id -> text map; Strings.cpp picks one.
using StringTable = std::unordered_map<int, std::string>;

const StringTable& GermanTable();
const StringTable& FrenchTable();
const StringTable& JapaneseTable();
const StringTable& DutchTable();

}  // namespace velmar
