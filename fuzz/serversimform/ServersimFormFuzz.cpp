// The local update server's reader of form bodies: any body splits into fields whose decoded
// texts are never longer than what they were decoded from, and the last field of a name wins.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FormBody.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const velmar::serversim::FormBody form(body);
  size_t total = 0;
  for (const auto& [name, value] : form.Fields()) {
    total += name.size() + value.size();
    Check(form.Has(name));
  }
  Check(total <= body.size());
  if (!form.Fields().empty()) {
    const auto& last = form.Fields().back();
    Check(form.Get(last.first) == last.second);
  }
  Check(velmar::serversim::DecodeFormComponent(body).size() <= body.size());
  return 0;
}
