// Termination signals through a self-pipe: the handler only writes a byte; a watcher thread
// reads it and runs the program's callback in an ordinary thread.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/Termination.h"

namespace velmar {

namespace {

int request_pipe[2] = {-1, -1};
std::atomic<bool> requested{false};

void OnSignal(int number) {
  requested.store(true);
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  (void)!write(request_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void WatchTerminationRequests(std::function<void()> on_request) {
  if (request_pipe[0] >= 0 || pipe2(request_pipe, O_CLOEXEC) != 0) return;
  std::thread([on_request = std::move(on_request)] {
    unsigned char byte = 0;
    for (;;) {
      const ssize_t n = read(request_pipe[0], &byte, 1);
      if (n == 1) {
        on_request();
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        return;
      }
    }
  }).detach();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a prompt blocked on the terminal returns instead of waiting for a line.
  action.sa_flags = 0;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

bool TerminationRequested() { return requested.load(); }

}  // namespace velmar
