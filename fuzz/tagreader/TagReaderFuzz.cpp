// Feeds arbitrary replies to the tag reader and every catalogue parser. Besides the
// sanitizers' checks it compares the list walk with the plain walk that cuts the text after
// every element, and checks the results' bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/Catalogue.h"
#include "server/TagReader.h"

namespace {

using velmar::TagReader;
using velmar::TagWalk;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::vector<std::string>> CuttingWalk(std::string text, const std::string& element,
                                                  const std::vector<std::string>& fields) {
  std::vector<std::vector<std::string>> records;
  while (!text.empty()) {
    std::string value;
    long end = TagReader::ReadTag(text, value, element);
    if (end == -1) break;
    Check(end > 0 && static_cast<size_t>(end) <= text.size());
    std::vector<std::string> record;
    for (const std::string& field : fields) {
      TagReader::ReadTag(text, value, field);
      record.push_back(value);
    }
    records.push_back(record);
    text = text.substr(static_cast<size_t>(end));
  }
  return records;
}

std::vector<std::vector<std::string>> RememberingWalk(const std::string& text,
                                                      const std::string& element,
                                                      const std::vector<std::string>& fields) {
  std::vector<std::vector<std::string>> records;
  TagWalk walk(text);
  std::string value;
  while (!walk.Finished() && walk.NextElement(element)) {
    std::vector<std::string> record;
    for (const std::string& field : fields) {
      walk.ReadField(value, field);
      record.push_back(value);
    }
    records.push_back(record);
    walk.DropElement();
  }
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  for (const char* tag : {"lien", "texte", "usb", "a", "", "<", "option"}) {
    std::string value = "x";
    long end = TagReader::ReadTag(text, value, tag);
    Check(end == -1 || (end > 0 && static_cast<size_t>(end) <= text.size()));
    Check(value.size() <= text.size());
    if (end == -1) Check(value.empty());
  }

  velmar::VersionInfo version;
  version.ReadVersion(text);
  version.ReadRedirect(text);
  (void)version.NewVersionAvailable();

  std::string reply = text;
  velmar::OptionList options;
  options.Read(reply);
  Check(reply.empty());
  velmar::OptionRecord record;
  for (int i = -1; i <= options.Count(); ++i) {
    int result = options.OptionAt(i, record);
    Check((result == 0) == (i >= 0 && i < options.Count()));
    Check(record.name[sizeof record.name - 1] == '\0');
    Check(record.ver[sizeof record.ver - 1] == '\0');
    if (result == 0) options.FindByCode(record.code, record);
  }
  (void)options.AnyVisible();

  reply = text;
  velmar::DatabaseList databases;
  databases.Read(reply);
  for (int i = 0; i < databases.Count() && i < 64; ++i) {
    velmar::DatabasePair pair = databases.PairAt(i);
    Check(pair.dbs[sizeof pair.dbs - 1] == '\0' && pair.rel[sizeof pair.rel - 1] == '\0');
    databases.MarkInstalled(pair.dbs);
    databases.MarkInstalled(pair.rel);
  }
  databases.MarkInstalled(text.c_str());
  databases.Rewind();
  std::string name;
  int names = 0;
  do {
    databases.NextFileToLoad(name);
    Check(names++ <= 2 * databases.Count() + 1);
  } while (!name.empty());
  Check(databases.FilesToLoad() <= 2 * databases.Count());

  reply = text;
  velmar::OthersList others;
  others.Read(reply);
  others.NameAt(others.Count(), name);
  Check(name.empty());

  velmar::PackageName package(text);
  Check(package.Prefix().size() <= text.size() && package.Base().size() <= text.size());

  // The remembering walk must read exactly what cutting the text reads (small inputs: the
  // cutting walk is quadratic).
  if (size <= 4096) {
    const std::vector<std::string> fields = {"code", "name", "ver", "option", "af"};
    for (const char* element : {"option", "duo", "af"}) {
      Check(RememberingWalk(text, element, fields) == CuttingWalk(text, element, fields));
    }
  }
  return 0;
}
