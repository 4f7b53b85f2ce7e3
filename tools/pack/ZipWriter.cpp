#include "ZipWriter.h"

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace velmar::pack {
namespace {

// 2024-01-01 00:00:00 UTC; any fixed value keeps builds reproducible.
constexpr time_t kFixedModificationTime = 1704067200;

std::string ArchiveError(zip_t* archive) { return zip_strerror(archive); }

}  // namespace

bool WriteZip(const std::string& path, const std::vector<ZipItem>& items, bool store,
              std::string& error) {
  error.clear();
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (archive == nullptr) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    error = path + ": " + zip_error_strerror(&e);
    zip_error_fini(&e);
    return false;
  }
  for (const ZipItem& item : items) {
    // The buffers stay alive until zip_close below, which is when libzip reads them.
    zip_source_t* source = zip_source_buffer(archive, item.data.data(), item.data.size(), 0);
    if (source == nullptr) {
      error = ArchiveError(archive);
      zip_discard(archive);
      return false;
    }
    const zip_int64_t index = zip_file_add(archive, item.name.c_str(), source, ZIP_FL_ENC_RAW);
    if (index < 0) {
      error = item.name + ": " + ArchiveError(archive);
      zip_source_free(source);
      zip_discard(archive);
      return false;
    }
    const zip_uint64_t i = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(archive, i, store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9) != 0 ||
        zip_file_set_mtime(archive, i, kFixedModificationTime, 0) != 0) {
      error = item.name + ": " + ArchiveError(archive);
      zip_discard(archive);
      return false;
    }
  }
  if (items.empty()) {
    // libzip writes no file for an empty archive; an empty archive is still a valid answer.
    zip_discard(archive);
    static const uint8_t kEmptyZip[22] = {0x50, 0x4b, 0x05, 0x06};
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(kEmptyZip, 1, sizeof kEmptyZip, f) != sizeof kEmptyZip) {
      if (f != nullptr) std::fclose(f);
      error = path + ": cannot write";
      return false;
    }
    return std::fclose(f) == 0;
  }
  if (zip_close(archive) != 0) {
    error = path + ": " + ArchiveError(archive);
    zip_discard(archive);
    return false;
  }
  return true;
}

}  // namespace velmar::pack
