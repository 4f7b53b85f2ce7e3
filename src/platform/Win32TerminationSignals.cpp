// The console's Ctrl-C, Ctrl-Break, close, logoff and shutdown events. The handler runs on a
// thread the system makes for it; the program's callback runs on a thread of our own.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Termination.h"

namespace velmar {

namespace {

std::atomic<bool> requested{false};
std::mutex request_lock;
std::condition_variable request_arrived;
int pending = 0;

BOOL WINAPI OnConsoleEvent(DWORD) {
  requested.store(true);
  {
    std::lock_guard<std::mutex> guard(request_lock);
    ++pending;
  }
  request_arrived.notify_one();
  // Handled: the program ends itself (a close event still ends it once this returns later).
  return TRUE;
}

}  // namespace

void WatchTerminationRequests(std::function<void()> on_request) {
  static std::atomic<bool> watching{false};
  if (watching.exchange(true)) return;
  // Lives as long as the process: it sleeps until a console event arrives, and the process's
  // end takes it along.
  std::thread([on_request = std::move(on_request)] {
    for (;;) {
      std::unique_lock<std::mutex> lock(request_lock);
      request_arrived.wait(lock, [] { return pending > 0; });
      --pending;
      lock.unlock();
      on_request();
    }
  }).detach();
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool TerminationRequested() { return requested.load(); }

}  // namespace velmar
