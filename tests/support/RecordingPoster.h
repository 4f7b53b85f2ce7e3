#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/EventPoster.h"

namespace velmar::testing {

struct PostedEvent {
  uint32_t message;
  int32_t event;
  int32_t value;
  bool operator==(const PostedEvent&) const = default;
};

// Keeps every post, and lets a test wait for one from another thread.
class RecordingPoster : public EventPoster {
 public:
  void Post(uint32_t message, int32_t event, int32_t value) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      events_.push_back({message, event, value});
    }
    changed_.notify_all();
  }
  std::vector<PostedEvent> Events() {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }
  std::vector<int32_t> EventCodes() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<int32_t> codes;
    for (const PostedEvent& e : events_) codes.push_back(e.event);
    return codes;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
  }
  // Waits until an event with this code was posted; false when the deadline passed first.
  bool WaitFor(int32_t event, int deadline_ms = 10000) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(deadline_ms), [&] {
      for (const PostedEvent& e : events_)
        if (e.event == event) return true;
      return false;
    });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<PostedEvent> events_;
};

}  // namespace velmar::testing
