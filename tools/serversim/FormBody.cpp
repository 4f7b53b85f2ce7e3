#include "FormBody.h"

namespace velmar::serversim {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DecodeFormComponent(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

FormBody::FormBody(const std::string& body) {
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string field = body.substr(start, end - start);
    if (!field.empty()) {
      const size_t eq = field.find('=');
      if (eq == std::string::npos) {
        fields_.emplace_back(DecodeFormComponent(field), std::string());
      } else {
        fields_.emplace_back(DecodeFormComponent(field.substr(0, eq)),
                             DecodeFormComponent(field.substr(eq + 1)));
      }
    }
    start = end + 1;
  }
}

bool FormBody::Has(const std::string& name) const {
  for (const auto& f : fields_) {
    if (f.first == name) return true;
  }
  return false;
}

std::string FormBody::Get(const std::string& name) const {
  for (auto it = fields_.rbegin(); it != fields_.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return std::string();
}

}  // namespace velmar::serversim
