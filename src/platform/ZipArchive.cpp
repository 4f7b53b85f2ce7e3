#include "platform/ZipArchive.h"

#include <zip.h>

#include <algorithm>
#include <new>

namespace velmar {

ZipArchive::~ZipArchive() { Close(); }

int ZipArchive::OpenBuffer(std::span<const uint8_t> data) {
  Close();
  return OpenSpan(data);
}

int ZipArchive::OpenBuffer(std::vector<uint8_t>&& data) {
  Close();
  owned_ = std::move(data);
  if (OpenSpan(owned_) != 0) {
    owned_.clear();
    owned_.shrink_to_fit();
    return -1;
  }
  return 0;
}

int ZipArchive::OpenSpan(std::span<const uint8_t> data) {
  if (data.empty()) return -1;
  zip_error_t error;
  zip_error_init(&error);
  // freep = 0: libzip only borrows the bytes.
  zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, &error);
  if (source == nullptr) {
    zip_error_fini(&error);
    return -1;
  }
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (archive == nullptr) {
    zip_source_free(source);  // not taken over when the open fails
    return -1;
  }
  archive_ = archive;
  return 0;
}

void ZipArchive::Close() {
  if (archive_ != nullptr) {
    zip_discard(archive_);  // read-only: nothing to write back
    archive_ = nullptr;
  }
  owned_.clear();
  owned_.shrink_to_fit();
}

int ZipArchive::ItemCount() const {
  if (archive_ == nullptr) return 0;
  zip_int64_t count = zip_get_num_entries(archive_, 0);
  if (count <= 0) return 0;
  return static_cast<int>(std::min<zip_int64_t>(count, INT32_MAX));
}

int ZipArchive::ItemInfo(int index, ZipItemInfo& info) const {
  info = ZipItemInfo{};
  if (archive_ == nullptr || index < 0 || index >= ItemCount()) return -1;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW, &st) != 0) {
    return -1;
  }
  if ((st.valid & ZIP_STAT_NAME) == 0 || (st.valid & ZIP_STAT_SIZE) == 0 || st.name == nullptr) {
    return -1;
  }
  info.name = st.name;
  info.uncompressedSize = st.size;
  return 0;
}

int ZipArchive::ExtractItem(int index, uint8_t* buffer, size_t capacity, size_t& written) const {
  written = 0;
  ZipItemInfo info;
  if (ItemInfo(index, info) != 0) return -1;
  if (info.uncompressedSize > kMaxItemSize || info.uncompressedSize > capacity) return -1;
  if (buffer == nullptr && info.uncompressedSize > 0) return -1;

  zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
  if (file == nullptr) return -1;  // encrypted, unsupported method, damaged header
  const size_t expected = static_cast<size_t>(info.uncompressedSize);
  size_t total = 0;
  bool ok = true;
  while (total < expected) {
    zip_int64_t n = zip_fread(file, buffer + total, expected - total);
    if (n <= 0) {  // -1: damaged data or CRC; 0: the stream ended before its announced size
      ok = false;
      break;
    }
    total += static_cast<size_t>(n);
  }
  if (ok) {
    // A stream that goes on past its announced size is as damaged as a short one; the reads
    // also make libzip verify the CRC at the end.
    uint8_t extra = 0;
    if (zip_fread(file, &extra, 1) != 0) ok = false;
  }
  zip_fclose(file);
  if (!ok) return -1;
  written = total;
  return 0;
}

int ZipArchive::ExtractItem(int index, std::vector<uint8_t>& out, uint64_t limit) const {
  out.clear();
  ZipItemInfo info;
  if (ItemInfo(index, info) != 0) return -1;
  limit = std::min(limit, kMaxItemSize);
  if (info.uncompressedSize > limit) return -1;
  try {
    out.resize(static_cast<size_t>(info.uncompressedSize));
  } catch (const std::bad_alloc&) {
    out.clear();
    return -1;
  }
  size_t written = 0;
  if (ExtractItem(index, out.data(), out.size(), written) != 0) {
    out.clear();
    out.shrink_to_fit();
    return -1;
  }
  return 0;
}

std::string ZipItemBaseName(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace velmar
