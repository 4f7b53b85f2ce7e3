#include "TerminationSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace velmar {

namespace {

// The handler may only write to a descriptor; the notifier reads it on the loop's thread.
int signal_pipe[2] = {-1, -1};

void OnSignal(int number) {
  const unsigned char byte = static_cast<unsigned char>(number);
  (void)!write(signal_pipe[1], &byte, 1);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0) return;
  notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    if (read(signal_pipe[0], &byte, 1) == 1) emit terminationRequested(byte);
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
  delete notifier_;
  for (int& fd : signal_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace velmar
