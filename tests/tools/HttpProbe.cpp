#include "HttpProbe.h"

#include <algorithm>
#include <cctype>

namespace velmar::testing {
namespace {

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* headers = static_cast<std::map<std::string, std::string>*>(user);
  std::string line(data, size * count);
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string value = line.substr(colon + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    (*headers)[name] = value;
  }
  return size * count;
}

HttpAnswer Perform(const std::string& url, const std::string* body,
                   const std::vector<std::string>& extraHeaders) {
  HttpAnswer answer;
  CURL* curl = curl_easy_init();
  curl_slist* list = nullptr;
  list = curl_slist_append(list, "Content-Type: application/x-www-form-urlencoded");
  for (const std::string& h : extraHeaders) list = curl_slist_append(list, h.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Korndal");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.headers);
  if (body != nullptr) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
  }
  answer.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  curl_slist_free_all(list);
  curl_easy_cleanup(curl);
  return answer;
}

}  // namespace

HttpAnswer PostForm(const std::string& url, const std::string& body,
                    const std::vector<std::string>& extraHeaders) {
  return Perform(url, &body, extraHeaders);
}

HttpAnswer Get(const std::string& url) { return Perform(url, nullptr, {}); }

}  // namespace velmar::testing
