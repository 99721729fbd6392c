#include "utility/clock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/system.h"

namespace klm::utility {

namespace {

class RealClock final : public Clock {
 public:
  std::uint32_t TickCount() override { return platform::TickCount(); }

  bool Sleep(std::uint32_t ms, std::stop_token stop) override {
    if (!stop.stop_possible()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return true;
    }
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    // Wakes early only for the stop; the predicate never holds.
    cv.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
    return !stop.stop_requested();
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

std::uint32_t Remaining(Clock& clock, std::uint32_t start, std::uint32_t limit_ms) {
  std::uint32_t elapsed = clock.TickCount() - start;
  return elapsed >= limit_ms ? 0 : limit_ms - elapsed;
}

}  // namespace klm::utility
