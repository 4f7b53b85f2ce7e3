#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// libzip's archive handle, kept out of every includer.
struct zip;

namespace velmar {

// One entry of an archive's directory.
struct ZipItemInfo {
  std::string name;           // as stored, 8-bit, not converted
  uint64_t uncompressedSize = 0;
};

// Read-only zip archive held in memory (a downloaded package), over libzip.
// Results are 0 on success and -1 on failure; nothing throws.
//
// Items come from the network: an item's announced size is checked against a limit before any
// buffer is sized from it, and an extraction never writes past the caller's capacity, even when
// the stream holds more than the directory announced.
class ZipArchive {
 public:
  // Larger items are refused instead of allocated; packages are far smaller.
  static constexpr uint64_t kMaxItemSize = 64ull * 1024 * 1024;

  ZipArchive() = default;
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;
  ~ZipArchive();

  // Opens the archive in `data` without password. The bytes are read lazily: the caller keeps
  // them alive and unchanged until Close (or destruction). Closes any archive open before.
  int OpenBuffer(std::span<const uint8_t> data);
  // The same, with the archive owning its bytes.
  int OpenBuffer(std::vector<uint8_t>&& data);
  void Close();
  bool IsOpen() const { return archive_ != nullptr; }

  // Number of items, 0 when no archive is open.
  int ItemCount() const;
  // Name and uncompressed size of item `index`.
  int ItemInfo(int index, ZipItemInfo& info) const;
  // Extracts item `index` into `buffer` (capacity bytes); `written` gets the item's size.
  // Fails when the item is larger than the capacity or kMaxItemSize, when its data is damaged
  // (CRC, truncated stream) or encrypted, or when it holds more than its announced size.
  int ExtractItem(int index, uint8_t* buffer, size_t capacity, size_t& written) const;
  // Extracts into `out`, sized to the item (at most `limit` bytes, never above kMaxItemSize).
  int ExtractItem(int index, std::vector<uint8_t>& out, uint64_t limit = kMaxItemSize) const;

 private:
  int OpenSpan(std::span<const uint8_t> data);

  zip* archive_ = nullptr;
  std::vector<uint8_t> owned_;
};

// The part of an item name after its last "/" or backslash (the whole name if there is none): zip
// tools store folders with "/", some Windows ones with a backslash.
std::string ZipItemBaseName(const std::string& name);

}  // namespace velmar
