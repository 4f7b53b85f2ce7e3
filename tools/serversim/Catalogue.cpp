#include "Catalogue.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace velmar::serversim {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const char* const kOptionTags[] = {"code", "name", "desc",    "base", "sigle",
                                   "ver",  "set",  "visible", "edit", "sd"};

// A scalar as the text the server sends.
bool ScalarText(const json& value, std::string& text) {
  if (value.is_string()) {
    text = value.get<std::string>();
  } else if (value.is_number_integer()) {
    text = value.dump();
  } else if (value.is_boolean()) {
    text = value.get<bool>() ? "1" : "0";
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> OptionalText(const json& node, const char* key, std::string& error) {
  if (!node.contains(key)) return std::nullopt;
  std::string text;
  if (!ScalarText(node[key], text)) {
    error = std::string("\"") + key + "\" must be a string or an integer";
    return std::nullopt;
  }
  return text;
}

// A value carrying a "<" would be cut or mangled by the tag reader on the client.
bool CheckValue(const std::string& where, const std::string& value, std::string& error) {
  if (value.find('<') != std::string::npos || value.find('>') != std::string::npos) {
    error = where + ": \"" + value + "\" holds '<' or '>', which no tagged reply can carry";
    return false;
  }
  return true;
}

bool ReadTool(const json& t, ToolEntry& tool, std::string& error) {
  if (!t.is_object() || !t.contains("serial") || !t["serial"].is_string()) {
    error = "every tool needs a \"serial\"";
    return false;
  }
  tool.serial = t["serial"].get<std::string>();
  const std::string where = "tool " + tool.serial;
  std::string e;
  auto text = [&](const char* key, std::optional<std::string>& field) {
    field = OptionalText(t, key, e);
    if (!e.empty()) {
      error = where + ": " + e;
      return false;
    }
    return !field || CheckValue(where, *field, error);
  };
  if (!text("texte", tool.texte) || !text("versionValid", tool.versionValid) ||
      !text("serverMsg", tool.serverMsg) || !text("usb", tool.usb) || !text("sd", tool.sd) ||
      !text("rs", tool.rs) || !text("zone", tool.zone) || !text("cntry", tool.cntry)) {
    return false;
  }
  if (t.contains("software")) {
    const json& s = t["software"];
    SoftwareOffer offer;
    offer.version = s.value("version", std::string());
    offer.package = s.value("package", std::string());
    if (offer.version.empty() || offer.package.empty()) {
      error = where + ": \"software\" needs a \"version\" and a \"package\"";
      return false;
    }
    if (!CheckValue(where, offer.version, error)) return false;
    for (const json& f : s.value("from", json::array())) offer.from.push_back(f.get<std::string>());
    tool.software = offer;
  }
  for (const json& d : t.value("databases", json::array())) {
    DatabasePairEntry pair{d.value("dbs", std::string()), d.value("rel", std::string())};
    if (!CheckValue(where, pair.dbs, error) || !CheckValue(where, pair.rel, error)) return false;
    tool.databases.push_back(pair);
  }
  for (const json& o : t.value("options", json::array())) {
    TagValues option;
    for (const char* tag : kOptionTags) {
      if (!o.contains(tag)) continue;
      std::string value;
      if (!ScalarText(o[tag], value)) {
        error = where + ": option field \"" + tag + "\" must be a string or an integer";
        return false;
      }
      if (!CheckValue(where, value, error)) return false;
      option.emplace_back(tag, value);
    }
    tool.options.push_back(std::move(option));
  }
  for (const json& a : t.value("others", json::array())) {
    const std::string name = a.get<std::string>();
    if (!CheckValue(where, name, error)) return false;
    tool.others.push_back(name);
  }
  return true;
}

}  // namespace

bool Catalogue::Load(const std::string& path, std::string& error) {
  fs::path file = path;
  if (fs::is_directory(file)) file /= "catalog.json";
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot read " + file.string();
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string folder = file.parent_path().string();
  return Parse(text, folder.empty() ? "." : folder, error);
}

bool Catalogue::Parse(const std::string& jsonText, const std::string& folder,
                      std::string& error) {
  *this = Catalogue{};
  folder_ = folder;
  try {
    const json doc = json::parse(jsonText);
    if (!doc.is_object()) {
      error = "the catalogue is a JSON object";
      return false;
    }
    texte_ = doc.value("texte", std::string());
    if (!CheckValue("texte", texte_, error)) return false;
    cdata_ = doc.value("cdata", false);
    const json packages = doc.value("packages", json::object());
    for (const auto& [name, file] : packages.items()) packages_[name] = file.get<std::string>();
    for (const json& t : doc.value("tools", json::array())) {
      ToolEntry tool;
      if (!ReadTool(t, tool, error)) return false;
      tools_.push_back(std::move(tool));
    }
  } catch (const json::exception& e) {
    error = std::string("malformed catalogue: ") + e.what();
    return false;
  }
  // Every zip the catalogue names must be there: a missing file is a mistake in the catalogue,
  // better found at start than by a client mid-update.
  auto exists = [&](const std::string& file) { return fs::is_regular_file(FilePath(file)); };
  for (const auto& [name, file] : packages_) {
    if (!exists(file)) {
      error = "package " + name + ": no file " + FilePath(file);
      return false;
    }
  }
  for (const ToolEntry& tool : tools_) {
    if (tool.software && !exists(tool.software->package)) {
      error = "tool " + tool.serial + ": no file " + FilePath(tool.software->package);
      return false;
    }
  }
  return true;
}

const ToolEntry* Catalogue::FindTool(const std::string& serial) const {
  const ToolEntry* any = nullptr;
  for (const ToolEntry& tool : tools_) {
    if (tool.serial == serial) return &tool;
    if (tool.serial == "*" && any == nullptr) any = &tool;
  }
  return any;
}

std::string Catalogue::PackagePath(const std::string& name) const {
  auto it = packages_.find(name);
  return it == packages_.end() ? std::string() : FilePath(it->second);
}

std::string Catalogue::FilePath(const std::string& file) const {
  fs::path p = file;
  return (p.is_absolute() ? p : fs::path(folder_) / p).string();
}

int CompareVersions(const std::string& a, const std::string& b) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      // Compare the runs as numbers without converting: skip leading zeros, then length.
      size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      const int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) return c < 0 ? -1 : 1;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
      ++i;
      ++j;
    }
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace velmar::serversim
