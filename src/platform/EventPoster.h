#pragma once
#include <cstdint>

namespace velmar {

// The one channel from a background worker to the window: post (message, event, value)
// to the window's queue. A poster with no window listening drops the post.
class EventPoster {
 public:
  virtual ~EventPoster() = default;
  virtual void Post(uint32_t message, int32_t event, int32_t value) = 0;
};

}  // namespace velmar
