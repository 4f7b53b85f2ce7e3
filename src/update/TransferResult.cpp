#include "update/TransferResult.h"

namespace velmar {

const char* TransferResultName(int32_t result) {
  switch (result) {
    case TR_NONE:
      return "transfer not finished";
    case TR_WRITTEN:
      return "every section written";
    case TR_BLOCK_REFUSED:
      return "the tool refused a block (SD card needed?)";
    case TR_SERIAL_MISMATCH:
      return "the tool's serial number differs from the package's";
    case TR_REQUEST_FAILED:
      return "download request failed or announced no usable length";
    case TR_DOWNLOAD_CUT:
      return "download ended before the package was complete";
    case TR_INVALID_PACKAGE:
      return "no valid package item in the archive";
    case TR_WRITE_FAILED:
      return "block write failed or nothing to write";
  }
  return "unknown transfer result";
}

}  // namespace velmar
