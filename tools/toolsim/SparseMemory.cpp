#include "SparseMemory.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace velmar::toolsim {

namespace {
constexpr uint64_t kAddressSpace = uint64_t{1} << 32;
}

bool SparseMemory::Write(uint32_t address, const uint8_t* data, size_t n) {
  const uint64_t start = address;
  const uint64_t end = start + n;
  if (end > kAddressSpace) return false;
  if (n == 0) return true;

  // The first range that could touch [start, end): the one starting at or before start,
  // when it reaches start (adjacent counts, so that ranges coalesce).
  auto first = ranges_.upper_bound(start);
  if (first != ranges_.begin()) {
    auto before = std::prev(first);
    if (before->first + before->second.size() >= start) first = before;
  }
  // One past the last range that starts at or before end (adjacent again counts).
  auto last = ranges_.upper_bound(end);

  if (first == last) {
    ranges_.emplace(start, std::vector<uint8_t>(data, data + n));
    total_ += n;
    return true;
  }

  // Common case of a transfer: the write extends or overwrites one range.
  if (std::next(first) == last && first->first <= start) {
    std::vector<uint8_t>& bytes = first->second;
    const uint64_t offset = start - first->first;
    if (offset + n > bytes.size()) {
      total_ += offset + n - bytes.size();
      bytes.resize(offset + n);
    }
    std::memcpy(bytes.data() + offset, data, n);
    return true;
  }

  const uint64_t merged_start = std::min(start, first->first);
  auto final_range = std::prev(last);
  const uint64_t merged_end = std::max(end, final_range->first + final_range->second.size());
  std::vector<uint8_t> merged(merged_end - merged_start);
  for (auto it = first; it != last; ++it) {
    std::memcpy(merged.data() + (it->first - merged_start), it->second.data(), it->second.size());
    total_ -= it->second.size();
  }
  std::memcpy(merged.data() + (start - merged_start), data, n);
  ranges_.erase(first, last);
  total_ += merged.size();
  ranges_.emplace(merged_start, std::move(merged));
  return true;
}

bool SparseMemory::Read(uint32_t address, size_t n, std::vector<uint8_t>* out) const {
  out->clear();
  if (n == 0) return true;
  const uint64_t start = address;
  auto it = ranges_.upper_bound(start);
  if (it == ranges_.begin()) return false;
  --it;
  const uint64_t offset = start - it->first;
  if (offset + n > it->second.size()) return false;
  out->assign(it->second.begin() + static_cast<ptrdiff_t>(offset),
              it->second.begin() + static_cast<ptrdiff_t>(offset + n));
  return true;
}

std::vector<SparseMemory::Range> SparseMemory::Ranges() const {
  std::vector<Range> result;
  result.reserve(ranges_.size());
  for (const auto& [start, bytes] : ranges_)
    result.push_back({static_cast<uint32_t>(start), &bytes});
  return result;
}

void SparseMemory::Clear() {
  ranges_.clear();
  total_ = 0;
}

}  // namespace velmar::toolsim
