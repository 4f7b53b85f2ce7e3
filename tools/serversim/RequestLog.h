#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "FormBody.h"

namespace velmar::serversim {

// What one request was and how it was answered: one JSON line of the request log.
struct LogRecord {
  std::string step;  // "redirect", "action" or "other"
  std::string path;
  std::string method;
  std::string action;  // "a", or "setstatus" for a status report (which carries no "a")
  FormBody form;
  std::string body;  // raw, as received
  std::string userAgent;
  std::string contentType;
  bool proxyAuthorization = false;
  int status = 0;
  std::string package;  // file served
  uint64_t bytes = 0;   // announced package length
  std::string delivery;
  std::string fault;
};

// JSON-lines log of every request, flushed line by line so that a test can read it while the
// server runs. Without a file, records are only counted.
class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  bool Open(const std::string& path, std::string& error);
  void Write(const LogRecord& record);
  uint64_t Count() const;

 private:
  mutable std::mutex lock_;
  std::FILE* file_ = nullptr;
  uint64_t count_ = 0;
};

}  // namespace velmar::serversim
