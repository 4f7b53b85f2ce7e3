#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Termination.h"

namespace velmar {

void ExitAfter(uint32_t ms, int code) {
  std::thread([ms, code] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    std::_Exit(code);
  }).detach();
}

}  // namespace velmar
