#include "server/TagReader.h"

namespace velmar {
namespace {

constexpr std::string_view kCdataOpening = "<![CDATA[";
constexpr size_t kCdataWrapping = 12;  // "<![CDATA[" and the three characters that close it

// The value inside an element, unwrapped as the server writes it.
std::string_view Unwrap(std::string_view inner) {
  if (inner.substr(0, kCdataOpening.size()) == kCdataOpening) {
    if (inner.size() <= kCdataWrapping) return {};
    return inner.substr(kCdataOpening.size(), inner.size() - kCdataWrapping);
  }
  if (!inner.empty() && inner.front() == '<') {
    if (inner.size() <= 2) return {};
    return inner.substr(1, inner.size() - 2);
  }
  return inner;
}

}  // namespace

long TagReader::ReadTag(std::string_view text, std::string& value, std::string_view tag) {
  TagWalk walk(text);
  return walk.ReadTagHere(value, tag);
}

size_t TagWalk::Find(const std::string& pattern) {
  for (Search& search : searches_) {
    if (search.pattern != pattern) continue;
    // An earlier search from a place before start_ that found nothing, or found something
    // at or after start_, has the answer for start_ as well.
    if (search.searched_from <= start_ &&
        (search.found == std::string_view::npos || search.found >= start_)) {
      return search.found;
    }
    search.searched_from = start_;
    search.found = text_.find(pattern, start_);
    return search.found;
  }
  size_t found = text_.find(pattern, start_);
  searches_.push_back(Search{pattern, start_, found});
  return found;
}

long TagWalk::ReadTagHere(std::string& value, std::string_view tag) {
  value.clear();
  if (start_ >= text_.size()) return -1;
  std::string opening = "<" + std::string(tag) + ">";
  std::string closing = "</" + std::string(tag) + ">";
  size_t open = Find(opening);
  size_t close = Find(closing);
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) {
    return -1;
  }
  size_t inner_start = open + opening.size();
  // The closing tag may begin inside the opening one ("<a>" found at 0, "</a>" can't overlap
  // it, but guard the arithmetic all the same).
  if (close < inner_start) return -1;
  value.assign(Unwrap(text_.substr(inner_start, close - inner_start)));
  return static_cast<long>(close + closing.size() - start_);
}

bool TagWalk::NextElement(std::string_view element_tag) {
  std::string ignored;
  long end = ReadTagHere(ignored, element_tag);
  if (end < 0) {
    start_ = text_.size();
    return false;
  }
  element_end_ = start_ + static_cast<size_t>(end);
  return true;
}

long TagWalk::ReadField(std::string& value, std::string_view tag) {
  return ReadTagHere(value, tag);
}

void TagWalk::DropElement() {
  if (element_end_ > start_) start_ = element_end_;
}

}  // namespace velmar
