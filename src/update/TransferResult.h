#pragma once
#include <cstdint>

namespace velmar {

// How one transfer job of the download worker ended: the value of its finish event (message
// 2049, event 14). 0 only while the job runs.
enum TransferResult : int32_t {
  TR_NONE = 0,
  TR_WRITTEN = 1,          // every section written
  TR_BLOCK_REFUSED = 2,    // the tool refused a block: taken as a tool without the SD card
  TR_SERIAL_MISMATCH = 3,  // the tool is not the one the package was asked for
  TR_REQUEST_FAILED = 4,   // a request failed, or the reply announced no (or no sane) length
  TR_DOWNLOAD_CUT = 5,     // a read gave no data before the package was complete
  TR_INVALID_PACKAGE = 6,  // no matching item, or it failed to extract or to parse
  TR_WRITE_FAILED = 7,     // a block write failed, or there was nothing to write
};

// A few words for logs and traces; unknown values give "unknown transfer result".
const char* TransferResultName(int32_t result);

}  // namespace velmar
