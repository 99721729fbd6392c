// The LM-7100's escape commands and the parts of its 32-byte replies that
// the utility reads.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace klm::utility {

inline constexpr std::size_t kReplySize = 32;
using Reply = std::array<std::uint8_t, kReplySize>;

inline constexpr std::array<std::uint8_t, 4> kSwitchCommandMode{0x1B, 0x69, 0x61, 0x01};
inline constexpr std::array<std::uint8_t, 3> kStatusRequest{0x1B, 0x69, 0x53};
inline constexpr std::array<std::uint8_t, 3> kStatusHeader{0x80, 0x20, 0x42};
inline constexpr std::size_t kSeriesCodeByte = 3;
inline constexpr std::size_t kModelCodeByte = 4;
inline constexpr std::size_t kSettingValueByte = 30;

// The two settings the printer keeps, by the letter of their commands.
enum class Setting : std::uint8_t {
  CommandSystem = 0x61,  // 'a': 0, 1 or 3
  PowerOn = 0x70,        // 'p': 0 or 1
};

inline constexpr std::array<std::uint8_t, 5> QueryCommand(Setting s) {
  return {0x1B, 0x69, 0x55, static_cast<std::uint8_t>(s), 0x01};
}
inline constexpr std::array<std::uint8_t, 6> SetCommand(Setting s, std::uint8_t value) {
  return {0x1B, 0x69, 0x55, static_cast<std::uint8_t>(s), 0x00, value};
}
// The rate travels in hundreds, low byte first: 115200 gives 80 04.
inline constexpr std::array<std::uint8_t, 5> SetBaudRateCommand(std::uint32_t baud_rate) {
  std::uint32_t hundreds = baud_rate / 100;
  return {0x1B, 0x69, 0x42, static_cast<std::uint8_t>(hundreds & 0xFF),
          static_cast<std::uint8_t>((hundreds >> 8) & 0xFF)};
}

// Model codes as the driver-information library answers them: series code in
// the low byte, model code in the high byte. 0xFFFF when it could not be asked.
inline constexpr bool ModelCheck(const Reply& status, std::uint16_t model_codes) {
  return status[kSeriesCodeByte] == (model_codes & 0xFF) && status[kModelCodeByte] == (model_codes >> 8);
}

}  // namespace klm::utility
