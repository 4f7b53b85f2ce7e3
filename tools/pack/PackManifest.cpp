#include "PackManifest.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "PackageBuilder.h"

namespace velmar::pack {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

bool SetError(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

bool ReadNumber(const json& value, uint32_t& out) {
  if (value.is_number_unsigned()) {
    const uint64_t v = value.get<uint64_t>();
    if (v > UINT32_MAX) return false;
    out = static_cast<uint32_t>(v);
    return true;
  }
  if (value.is_string()) return ParseUnsigned(value.get<std::string>(), out);
  return false;
}

// Bytes of a "pattern", "file", "hex" or "text" source in `node`; false when none or bad.
bool ReadSource(const json& node, const std::string& baseDir, std::vector<uint8_t>& bytes,
                std::string& error) {
  if (node.contains("pattern")) {
    const json& p = node["pattern"];
    uint32_t seed = 0, length = 0;
    if (!p.is_object() || !p.contains("seed") || !p.contains("length") ||
        !ReadNumber(p["seed"], seed) || !ReadNumber(p["length"], length)) {
      error = "\"pattern\" needs a numeric \"seed\" and \"length\"";
      return false;
    }
    bytes = SeededPattern(seed, length);
    return true;
  }
  if (node.contains("file")) {
    fs::path file = node["file"].get<std::string>();
    if (file.is_relative()) file = fs::path(baseDir) / file;
    if (!ReadFileBytes(file.string(), bytes)) {
      error = "cannot read " + file.string();
      return false;
    }
    return true;
  }
  if (node.contains("hex")) {
    if (!ParseHex(node["hex"].get<std::string>(), bytes)) {
      error = "\"hex\" is not an even run of hex digits";
      return false;
    }
    return true;
  }
  if (node.contains("text")) {
    const std::string text = node["text"].get<std::string>();
    bytes.assign(text.begin(), text.end());
    return true;
  }
  error = "no data: give \"pattern\", \"file\", \"hex\" or \"text\"";
  return false;
}

bool ReadSection(const json& node, const std::string& baseDir, SectionSpec& section,
                 std::string& error) {
  if (!node.is_object()) {
    error = "a section is an object";
    return false;
  }
  section = SectionSpec{};
  uint32_t kind = 0;
  if (node.contains("kind") && (!ReadNumber(node["kind"], kind) || kind > 255)) {
    error = "\"kind\" must be 0..255";
    return false;
  }
  section.kind = static_cast<uint8_t>(kind);
  if (node.value("empty", false)) {
    section.empty = true;
    return true;
  }
  if (node.contains("address") && !ReadNumber(node["address"], section.address)) {
    error = "\"address\" must be a 32-bit number (decimal, or a \"0x...\" string)";
    return false;
  }
  section.name = node.value("name", std::string());
  return ReadSource(node, baseDir, section.data, error);
}

bool ReadItem(const json& node, const std::string& baseDir, ZipItem& item, std::string& error) {
  if (!node.is_object() || !node.contains("name") || !node["name"].is_string()) {
    error = "an item needs a \"name\"";
    return false;
  }
  item.name = node["name"].get<std::string>();
  if (item.name.empty()) {
    error = "an item name cannot be empty";
    return false;
  }
  if (!node.contains("format")) return ReadSource(node, baseDir, item.data, error);

  ItemSpec layout;
  const json& f = node["format"];
  bool ok = false;
  layout.format = FormatFromText(f.is_number() ? std::to_string(f.get<int>()) : f.get<std::string>(), ok);
  if (!ok) {
    error = "\"format\" must be 100, 101 or \"raw\"";
    return false;
  }
  if (node.contains("header")) {
    const json& h = node["header"];
    uint32_t w = 0;
    if (h.contains("word1")) {
      if (!ReadNumber(h["word1"], w) || w > 0xFFFF) return SetError(error, "bad header word1");
      layout.header.word1 = static_cast<uint16_t>(w);
    }
    if (h.contains("word2")) {
      if (!ReadNumber(h["word2"], w) || w > 0xFFFF) return SetError(error, "bad header word2");
      layout.header.word2 = static_cast<uint16_t>(w);
    }
    layout.header.block1 = h.value("block1", std::string());
    layout.header.block2 = h.value("block2", std::string());
    layout.header.block3 = h.value("block3", std::string());
  }
  layout.badCheckByte = node.value("checkByte", std::string("good")) == "bad";
  if (node.contains("sections")) {
    for (const json& s : node["sections"]) {
      SectionSpec section;
      if (!ReadSection(s, baseDir, section, error)) {
        error = "section " + std::to_string(layout.sections.size()) + ": " + error;
        return false;
      }
      layout.sections.push_back(std::move(section));
    }
  }
  auto built = BuildItem(layout, error);
  if (!built) return false;
  item.data = std::move(*built);
  return true;
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ParseManifest(const std::string& jsonText, const std::string& baseDir,
                   std::vector<PackageSpec>& packages, std::string& error) {
  packages.clear();
  try {
    const json doc = json::parse(jsonText);
    if (!doc.contains("packages") || !doc["packages"].is_array()) {
      error = "the manifest needs a \"packages\" array";
      return false;
    }
    for (const json& p : doc["packages"]) {
      PackageSpec package;
      package.zip = p.value("zip", std::string());
      if (package.zip.empty() || package.zip.find('/') != std::string::npos) {
        error = "a package needs a plain \"zip\" file name";
        return false;
      }
      const std::string compression = p.value("compression", std::string("deflate"));
      if (compression != "deflate" && compression != "store") {
        error = package.zip + ": \"compression\" is \"deflate\" or \"store\"";
        return false;
      }
      package.store = compression == "store";
      package.unzipped = p.value("unzipped", false);
      for (const json& i : p.value("items", json::array())) {
        ZipItem item;
        if (!ReadItem(i, baseDir, item, error)) {
          error = package.zip + ", item " + i.value("name", std::string("?")) + ": " + error;
          return false;
        }
        package.items.push_back(std::move(item));
      }
      if (package.unzipped && package.items.size() != 1) {
        error = package.zip + ": an unzipped package holds exactly one item";
        return false;
      }
      packages.push_back(std::move(package));
    }
  } catch (const json::exception& e) {
    error = std::string("malformed manifest: ") + e.what();
    return false;
  }
  return true;
}

bool LoadManifest(const std::string& path, std::vector<PackageSpec>& packages,
                  std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    error = "cannot read " + path;
    return false;
  }
  const std::string base = fs::path(path).parent_path().string();
  return ParseManifest(std::string(bytes.begin(), bytes.end()), base.empty() ? "." : base,
                       packages, error);
}

bool WritePackages(const std::vector<PackageSpec>& packages, const std::string& outDir,
                   std::string& error) {
  std::error_code ec;
  fs::create_directories(outDir, ec);
  if (ec) {
    error = outDir + ": " + ec.message();
    return false;
  }
  for (const PackageSpec& p : packages) {
    const std::string path = (fs::path(outDir) / p.zip).string();
    if (p.unzipped) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      const auto& data = p.items.front().data;
      out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
      if (!out.flush()) {
        error = "cannot write " + path;
        return false;
      }
    } else if (!WriteZip(path, p.items, p.store, error)) {
      return false;
    }
  }
  return true;
}

}  // namespace velmar::pack
