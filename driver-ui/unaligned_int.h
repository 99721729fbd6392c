// A little-endian integer at an offset a fixed layout leaves unaligned
// (ExtLength at private byte 18, a user format's base id at 130). Held as
// bytes, so the records around it need no packing and stay naturally aligned,
// and no reference to a misaligned integer can ever be formed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace klm::driver {

template <typename T>
struct UnalignedInt {
  static_assert(std::is_integral_v<T>);
  std::uint8_t bytes[sizeof(T)];

  constexpr operator T() const {
    std::make_unsigned_t<T> v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      v = static_cast<std::make_unsigned_t<T>>(v | (std::make_unsigned_t<T>{bytes[i]} << (8 * i)));
    }
    return static_cast<T>(v);
  }
  constexpr UnalignedInt& operator=(T value) {
    const auto v = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
  }
  constexpr UnalignedInt& operator|=(T value) { return *this = static_cast<T>(T(*this) | value); }
  constexpr UnalignedInt& operator&=(T value) { return *this = static_cast<T>(T(*this) & value); }
};

using UnalignedU32 = UnalignedInt<std::uint32_t>;
using UnalignedI32 = UnalignedInt<std::int32_t>;
static_assert(sizeof(UnalignedU32) == 4 && alignof(UnalignedU32) == 1);
static_assert(std::is_trivially_copyable_v<UnalignedU32>);

}  // namespace klm::driver
