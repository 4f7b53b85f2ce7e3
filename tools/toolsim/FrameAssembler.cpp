#include "FrameAssembler.h"

#include <cstdint>

#include "device/ModbusCrc.h"

namespace velmar::toolsim {

FrameAssembler::FrameAssembler(Clock::duration gap) : gap_(gap) {}

size_t FrameAssembler::ExpectedLength(const uint8_t* data, size_t count) {
  if (count < 2) return 0;
  const uint8_t function = data[1];
  if (function >= 1 && function <= 6) return 8;
  if (function == 15 || function == 16) return count < 7 ? 0 : 9 + size_t{data[6]};
  return SIZE_MAX;
}

void FrameAssembler::Feed(const uint8_t* data, size_t count, Clock::time_point now,
                          std::vector<Frame>* frames) {
  if (count == 0) return;
  // A silence longer than the gap ends whatever was pending: it was not a whole frame.
  if (!buffer_.empty() && now - last_byte_ > gap_) Idle(now, frames);
  buffer_.insert(buffer_.end(), data, data + count);
  last_byte_ = now;
  Extract(frames);
}

void FrameAssembler::Idle(Clock::time_point now, std::vector<Frame>* frames) {
  if (buffer_.empty() || now - last_byte_ <= gap_) return;
  // Only a frame of unknown function can end at a silence; anything else is incomplete.
  if (ExpectedLength(buffer_.data(), buffer_.size()) == SIZE_MAX && buffer_.size() >= 4) {
    Finish(buffer_.size(), frames);
  } else {
    ++dropped_frames_;
  }
  buffer_.clear();
}

std::optional<FrameAssembler::Clock::time_point> FrameAssembler::Deadline() const {
  if (buffer_.empty()) return std::nullopt;
  return last_byte_ + gap_ + std::chrono::milliseconds(1);
}

void FrameAssembler::Extract(std::vector<Frame>* frames) {
  while (!buffer_.empty()) {
    const size_t expected = ExpectedLength(buffer_.data(), buffer_.size());
    if (expected == SIZE_MAX) {
      // Wait for the gap, but never hold more than the longest frame.
      if (buffer_.size() > kMaxFrame) {
        ++dropped_frames_;
        buffer_.clear();
      }
      return;
    }
    if (expected == 0 || buffer_.size() < expected) return;
    Finish(expected, frames);
  }
}

void FrameAssembler::Finish(size_t length, std::vector<Frame>* frames) {
  const uint16_t crc = ModbusCrc16(buffer_.data(), length - 2);
  const bool good = buffer_[length - 2] == static_cast<uint8_t>(crc & 0xFF) &&
                    buffer_[length - 1] == static_cast<uint8_t>(crc >> 8);
  if (good) {
    frames->emplace_back(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(length));
  } else {
    ++dropped_frames_;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(length));
}

}  // namespace velmar::toolsim
