// velmar-pack: builds package items (formats 100, 101 and raw) and zips them into packages.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "PackManifest.h"
#include "PackageBuilder.h"
#include "ZipWriter.h"
#include "platform/ZipArchive.h"
#include "update/PackageImage.h"

namespace {

using namespace velmar::pack;

const char kUsage[] =
    "usage:\n"
    "  velmar-pack --manifest FILE --out-dir DIR\n"
    "      build every package of a JSON manifest into DIR\n"
    "  velmar-pack --format 100|101|raw --section FIELDS [--section FIELDS]...\n"
    "              [--word1 N] [--word2 N] [--block1 T] [--block2 T] [--block3 T] [--bad-check]\n"
    "              (--out ITEM | --zip PACKAGE.zip --item NAME [--store])\n"
    "      build one item, bare or zipped under NAME\n"
    "  velmar-pack --describe FILE\n"
    "      list a package's items (or a bare item) as the tool's reader sees them\n"
    "  velmar-pack --pattern SEED:LENGTH --out FILE\n"
    "      write the deterministic section contents used by the manifests\n"
    "FIELDS: comma-separated key=value: address=0x10000,kind=2,name=APP and one of\n"
    "      pattern=SEED:LENGTH, file=PATH, hex=00FF..., or 'empty' (a format 100 empty slot)\n";

bool SetError(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

int Fail(const std::string& message) {
  std::cerr << "velmar-pack: " << message << "\n";
  return 1;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool ParsePatternArg(const std::string& text, uint32_t& seed, uint32_t& length) {
  const size_t colon = text.find(':');
  return colon != std::string::npos && ParseUnsigned(text.substr(0, colon), seed) &&
         ParseUnsigned(text.substr(colon + 1), length);
}

bool ParseSectionSpec(const std::string& text, SectionSpec& section, std::string& error) {
  section = SectionSpec{};
  bool hasData = false;
  std::stringstream in(text);
  std::string field;
  while (std::getline(in, field, ',')) {
    if (field == "empty") {
      section.empty = true;
      continue;
    }
    const size_t eq = field.find('=');
    if (eq == std::string::npos) return SetError(error, "bad section field '" + field + "'");
    const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
    uint32_t n = 0;
    if (key == "address") {
      if (!ParseUnsigned(value, section.address)) return SetError(error, "bad address " + value);
    } else if (key == "kind") {
      if (!ParseUnsigned(value, n) || n > 255) return SetError(error, "bad kind " + value);
      section.kind = static_cast<uint8_t>(n);
    } else if (key == "name") {
      section.name = value;
    } else if (key == "pattern") {
      uint32_t seed = 0, length = 0;
      if (!ParsePatternArg(value, seed, length)) return SetError(error, "bad pattern " + value);
      section.data = SeededPattern(seed, length);
      hasData = true;
    } else if (key == "file") {
      if (!ReadFileBytes(value, section.data)) return SetError(error, "cannot read " + value);
      hasData = true;
    } else if (key == "hex") {
      if (!ParseHex(value, section.data)) return SetError(error, "bad hex " + value);
      hasData = true;
    } else {
      return SetError(error, "unknown section field '" + key + "'");
    }
  }
  if (!section.empty && !hasData) return SetError(error, "section without data: " + text);
  return true;
}

void DescribeItem(const std::string& label, const std::vector<uint8_t>& item) {
  velmar::PackageImage image;
  std::printf("%s: %zu bytes, ", label.c_str(), item.size());
  if (image.Parse(item) != 0) {
    std::printf("invalid package image\n");
    return;
  }
  if (image.IsRaw()) {
    std::printf("raw (check byte does not match): one section at address 0\n");
  } else {
    std::printf("format %u, %zu section(s), %zu trailing byte(s)\n", image.Format(),
                image.SectionCount(), image.TrailingBytes());
  }
  for (const velmar::ImageSection& s : image.Sections()) {
    std::printf("  #%u kind %u address 0x%08X length %u%s%s\n", s.index, s.kind, s.address,
                s.length, s.name.empty() ? "" : " name ", s.name.c_str());
  }
}

int Describe(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) return Fail("cannot read " + path);
  velmar::ZipArchive archive;
  if (archive.OpenBuffer(std::span<const uint8_t>(bytes)) != 0) {
    DescribeItem(path, bytes);
    return 0;
  }
  for (int i = 0; i < archive.ItemCount(); ++i) {
    velmar::ZipItemInfo info;
    std::vector<uint8_t> item;
    if (archive.ItemInfo(i, info) != 0 || archive.ExtractItem(i, item) != 0) {
      std::printf("item %d: cannot be extracted\n", i);
      continue;
    }
    DescribeItem(info.name, item);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string manifest, outDir, out, zip, itemName, describe, pattern;
  ItemSpec layout;
  bool haveFormat = false, store = false;
  std::string error;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&](std::string& target) {
      if (i + 1 >= argc) return false;
      target = argv[++i];
      return true;
    };
    std::string value;
    uint32_t n = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--manifest") {
      if (!next(manifest)) return Fail("--manifest needs a file");
    } else if (arg == "--out-dir") {
      if (!next(outDir)) return Fail("--out-dir needs a folder");
    } else if (arg == "--out") {
      if (!next(out)) return Fail("--out needs a file");
    } else if (arg == "--zip") {
      if (!next(zip)) return Fail("--zip needs a file");
    } else if (arg == "--item") {
      if (!next(itemName)) return Fail("--item needs a name");
    } else if (arg == "--store") {
      store = true;
    } else if (arg == "--describe") {
      if (!next(describe)) return Fail("--describe needs a file");
    } else if (arg == "--pattern") {
      if (!next(pattern)) return Fail("--pattern needs SEED:LENGTH");
    } else if (arg == "--format") {
      bool ok = false;
      if (!next(value)) return Fail("--format needs 100, 101 or raw");
      layout.format = FormatFromText(value, ok);
      if (!ok) return Fail("--format needs 100, 101 or raw");
      haveFormat = true;
    } else if (arg == "--section") {
      SectionSpec section;
      if (!next(value)) return Fail("--section needs a FIELDS");
      if (!ParseSectionSpec(value, section, error)) return Fail(error);
      layout.sections.push_back(std::move(section));
    } else if (arg == "--word1" || arg == "--word2") {
      if (!next(value) || !ParseUnsigned(value, n) || n > 0xFFFF) return Fail(arg + " needs 0..65535");
      (arg == "--word1" ? layout.header.word1 : layout.header.word2) = static_cast<uint16_t>(n);
    } else if (arg == "--block1") {
      if (!next(layout.header.block1)) return Fail("--block1 needs a text");
    } else if (arg == "--block2") {
      if (!next(layout.header.block2)) return Fail("--block2 needs a text");
    } else if (arg == "--block3") {
      if (!next(layout.header.block3)) return Fail("--block3 needs a text");
    } else if (arg == "--bad-check") {
      layout.badCheckByte = true;
    } else {
      std::fputs(kUsage, stderr);
      return Fail("unknown argument " + arg);
    }
  }

  if (!describe.empty()) return Describe(describe);

  if (!pattern.empty()) {
    uint32_t seed = 0, length = 0;
    if (!ParsePatternArg(pattern, seed, length)) return Fail("--pattern needs SEED:LENGTH");
    if (out.empty()) return Fail("--pattern needs --out");
    if (!WriteFile(out, SeededPattern(seed, length))) return Fail("cannot write " + out);
    return 0;
  }

  if (!manifest.empty()) {
    if (outDir.empty()) return Fail("--manifest needs --out-dir");
    std::vector<PackageSpec> packages;
    if (!LoadManifest(manifest, packages, error)) return Fail(manifest + ": " + error);
    if (!WritePackages(packages, outDir, error)) return Fail(error);
    return 0;
  }

  if (!haveFormat) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  auto item = BuildItem(layout, error);
  if (!item) return Fail(error);
  if (!zip.empty()) {
    if (itemName.empty()) return Fail("--zip needs --item NAME");
    if (!WriteZip(zip, {ZipItem{itemName, std::move(*item)}}, store, error)) return Fail(error);
    return 0;
  }
  if (out.empty()) return Fail("give --out ITEM or --zip PACKAGE.zip --item NAME");
  if (!WriteFile(out, *item)) return Fail("cannot write " + out);
  return 0;
}
