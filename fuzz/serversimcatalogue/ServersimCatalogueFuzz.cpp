// The local update server's catalogue reader on made-up JSON, and its answers to requests for
// any serial number and package name the catalogue itself mentions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Catalogue.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  velmar::serversim::Catalogue catalogue;
  std::string error;
  if (!catalogue.Parse(text, "/nonexistent", error)) {
    Check(!error.empty());
    return 0;
  }
  for (const auto& tool : catalogue.Tools()) {
    Check(catalogue.FindTool(tool.serial) != nullptr);
    if (tool.software) {
      catalogue.PackagePath(tool.software->package);
      velmar::serversim::CompareVersions(tool.software->version, tool.software->version);
    }
  }
  catalogue.FindTool("");
  catalogue.PackagePath("../../etc/passwd");
  return 0;
}
