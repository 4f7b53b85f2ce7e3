#include "RequestLog.h"

#include <nlohmann/json.hpp>

namespace velmar::serversim {
namespace {

// The wire is 8-bit text; JSON wants UTF-8. Bytes that do not form UTF-8 are shown as
// "\xNN" so that the line stays valid and nothing is lost from view.
std::string Printable(const std::string& bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = len > 0 && i + len <= bytes.size();
    for (size_t k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(bytes[i + k]) >> 6) == 0x2;
    }
    if (valid) {
      out.append(bytes, i, len);
      i += len;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
      ++i;
    }
  }
  return out;
}

}  // namespace

RequestLog::~RequestLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RequestLog::Open(const std::string& path, std::string& error) {
  std::lock_guard<std::mutex> guard(lock_);
  file_ = std::fopen(path.c_str(), "a");
  if (file_ == nullptr) {
    error = "cannot open log " + path;
    return false;
  }
  return true;
}

void RequestLog::Write(const LogRecord& r) {
  std::lock_guard<std::mutex> guard(lock_);
  ++count_;
  if (file_ == nullptr) return;
  nlohmann::json fields = nlohmann::json::object();
  nlohmann::json order = nlohmann::json::array();
  for (const auto& [name, value] : r.form.Fields()) {
    fields[Printable(name)] = Printable(value);  // the last one wins, as the server reads it
    order.push_back(Printable(name));
  }
  nlohmann::json line = {
      {"seq", count_},         {"step", r.step},
      {"method", r.method},    {"path", Printable(r.path)},
      {"action", Printable(r.action)}, {"fields", fields},
      {"fieldOrder", order},   {"body", Printable(r.body)},
      {"userAgent", Printable(r.userAgent)}, {"contentType", Printable(r.contentType)},
      {"proxyAuthorization", r.proxyAuthorization}, {"status", r.status},
  };
  if (!r.package.empty()) {
    line["package"] = r.package;
    line["bytes"] = r.bytes;
    line["delivery"] = r.delivery;
  }
  if (!r.fault.empty()) line["fault"] = r.fault;
  if (r.step == "action" && r.action == "setstatus" && r.status == 200) {
    // The outcome of one update of a tool, as the client reported it.
    line["update"] = {{"serial", Printable(r.form.Get("s"))},
                      {"version", Printable(r.form.Get("v"))},
                      {"file", Printable(r.form.Get("f"))},
                      {"status", Printable(r.form.Get("status"))}};
  }
  const std::string text = line.dump() + "\n";
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

uint64_t RequestLog::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return count_;
}

}  // namespace velmar::serversim
