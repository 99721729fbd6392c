// The one clock of the link layer and the workers: tick counts for time
// limits and the waits between steps (5000, 3000 and 500 ms). Tests replace
// it so the suite does not sleep through the waits.
#pragma once

#include <cstdint>
#include <stop_token>

namespace klm::utility {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds, wrapping at 2^32; compare by unsigned difference.
  virtual std::uint32_t TickCount() = 0;
  // Waits `ms`. False when `stop` was requested before the wait was over.
  virtual bool Sleep(std::uint32_t ms, std::stop_token stop = {}) = 0;
};

// The platform tick counter and real waits. Shared by every thread.
Clock& SystemClock();

// Milliseconds left of `limit_ms` since `start`; 0 once it has passed.
std::uint32_t Remaining(Clock& clock, std::uint32_t start, std::uint32_t limit_ms);

}  // namespace klm::utility
