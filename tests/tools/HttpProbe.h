#pragma once
#include <curl/curl.h>

#include <map>
#include <string>
#include <vector>

namespace velmar::testing {

// What one plain libcurl request brought back.
struct HttpAnswer {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  bool HasHeader(const std::string& name) const { return headers.count(name) != 0; }
};

// A form POST as the client sends it, with optional extra header lines ("Name: value").
HttpAnswer PostForm(const std::string& url, const std::string& body,
                    const std::vector<std::string>& extraHeaders = {});
HttpAnswer Get(const std::string& url);

}  // namespace velmar::testing
