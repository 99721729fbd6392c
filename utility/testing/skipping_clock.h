// A clock for tests: real time passes as usual (a simulator on the other end
// of a pseudo-terminal answers in real time), but waits return at once and
// move the tick count forward by their length. Every wait is recorded.
#pragma once

#include <mutex>
#include <vector>

#include "platform/system.h"
#include "utility/clock.h"

namespace klm::utility::testing {

class SkippingClock final : public Clock {
 public:
  std::uint32_t TickCount() override {
    std::lock_guard lock(m_);
    return platform::TickCount() + skipped_;
  }
  bool Sleep(std::uint32_t ms, std::stop_token stop) override {
    std::lock_guard lock(m_);
    waits_.push_back(ms);
    skipped_ += ms;
    return !stop.stop_requested();
  }
  void ClearWaits() {
    std::lock_guard lock(m_);
    waits_.clear();
  }
  std::vector<std::uint32_t> waits() const {
    std::lock_guard lock(m_);
    return waits_;
  }

 private:
  mutable std::mutex m_;
  std::uint32_t skipped_ = 0;
  std::vector<std::uint32_t> waits_;
};

}  // namespace klm::utility::testing
