#include "platform/InstanceLock.h"
#include "platform/Win32Text.h"

namespace velmar {

// The name the program's instances have always agreed on.
std::string InstanceLock::DefaultPath() { return "00E2F422-KORNDAL-ABC7-AA2E10B6B2A5"; }

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

InstanceLock::Result InstanceLock::Acquire() {
  if (handle_ != nullptr) return Result::Acquired;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(path_).c_str());
  if (mutex == nullptr) {
    // Another object of that name (or a mutex of another user): treated as taken only when
    // the system says so.
    return GetLastError() == ERROR_ACCESS_DENIED ? Result::AlreadyRunning : Result::Unavailable;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return Result::AlreadyRunning;
  }
  handle_ = mutex;
  return Result::Acquired;
}

}  // namespace velmar
