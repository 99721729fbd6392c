// Printer replies come from whatever is on the other end of the line: the
// synchronised read must never read or write outside its buffers, whatever
// the chunks, their sizes (including a reader that claims more than it was
// given room for) and the noise before the header.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "utility/clock.h"
#include "utility/serial_link.h"

namespace {

// Each read advances time by 10 ms, so every run ends within its budget.
class StepClock : public klm::utility::Clock {
 public:
  std::uint32_t TickCount() override { return now_ += 10; }
  bool Sleep(std::uint32_t ms, std::stop_token) override {
    now_ += ms;
    return true;
  }

 private:
  std::uint32_t now_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> input(data, size);
  // Each chunk: one byte "claimed length" then up to that many bytes.
  auto read = [&](std::span<std::uint8_t> buffer, std::uint32_t) -> klm::Result<std::size_t> {
    if (input.empty()) return std::size_t{0};
    std::size_t claimed = input[0];
    input = input.subspan(1);
    std::size_t copied = std::min({claimed, buffer.size(), input.size()});
    std::memcpy(buffer.data(), input.data(), copied);
    input = input.subspan(copied);
    return claimed;  // may exceed what was copied or asked for
  };
  std::uint8_t reply[32];
  StepClock clock;
  (void)klm::utility::SynchronisedRead(read, reply, 500, clock);
  return 0;
}
