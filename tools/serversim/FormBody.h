#pragma once
#include <string>
#include <utility>
#include <vector>

namespace velmar::serversim {

// The fields of an application/x-www-form-urlencoded body, in the order sent.
// Decoding is the standard one: "+" is a blank, "%XX" a byte; a "%" not followed by two hex
// digits stays as it is. A field without "=" has an empty value.
class FormBody {
 public:
  FormBody() = default;
  explicit FormBody(const std::string& body);

  const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields_; }
  bool Has(const std::string& name) const;
  // The last field of that name, as the usual web servers take it; empty when absent.
  std::string Get(const std::string& name) const;

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
};

std::string DecodeFormComponent(const std::string& text);

}  // namespace velmar::serversim
