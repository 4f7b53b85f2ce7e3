#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmar::toolsim {

// Cuts the byte stream a slave receives into request frames, the way a Modbus RTU slave does:
// a request is complete when its length is known from the function code (8 bytes for the
// functions 1 to 6, 9 + byte count for 15 and 16) or, for other function codes, when the line
// has been silent for the inter-frame gap. A frame whose CRC is wrong is dropped silently, and
// a partial frame is dropped after the gap, so that the next request starts clean.
class FrameAssembler {
 public:
  using Clock = std::chrono::steady_clock;
  using Frame = std::vector<uint8_t>;

  explicit FrameAssembler(Clock::duration gap);

  // Adds received bytes; complete frames with a good CRC are appended to frames.
  void Feed(const uint8_t* data, size_t count, Clock::time_point now, std::vector<Frame>* frames);
  // Ends what is buffered when the gap has passed since the last byte.
  void Idle(Clock::time_point now, std::vector<Frame>* frames);
  // When Idle has something to do, if anything is buffered.
  std::optional<Clock::time_point> Deadline() const;

  void Reset() { buffer_.clear(); }
  uint64_t DroppedFrames() const { return dropped_frames_; }

  // The length of the request that begins with these bytes; 0 while it cannot be told yet,
  // SIZE_MAX when only the gap can tell (unknown function code).
  static size_t ExpectedLength(const uint8_t* data, size_t count);

  static constexpr size_t kMaxFrame = 264;  // 9 + a byte count of 255

 private:
  void Extract(std::vector<Frame>* frames);
  void Finish(size_t length, std::vector<Frame>* frames);

  Clock::duration gap_;
  std::vector<uint8_t> buffer_;
  Clock::time_point last_byte_{};
  uint64_t dropped_frames_ = 0;
};

}  // namespace velmar::toolsim
