#pragma once
#include <cstdint>
#include <functional>

namespace velmar {

// Requests from outside to end the program: Ctrl-C, SIGTERM and SIGHUP (on Windows, the
// console's Ctrl-C, close and logout events). `on_request` runs on a thread of its own, never
// inside a signal handler, once per request; it should only ask the program to end. Call once.
void WatchTerminationRequests(std::function<void()> on_request);
// True once a request has arrived.
bool TerminationRequested();

// Ends the process with `code` after `ms` unless it has ended by then: the last resort for a
// wait the program cannot cut short (an HTTP request in flight). Returns at once.
void ExitAfter(uint32_t ms, int code);

}  // namespace velmar
