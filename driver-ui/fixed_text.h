// Copies into fixed UTF-16 fields (dmDeviceName, dmFormName, paper names):
// at most size - 1 characters, never half a surrogate pair, the rest zeroed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace klm::driver {

// Length of a possibly unterminated fixed field.
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return std::u16string_view(field, n);
}

template <std::size_t N>
void SetField(char16_t (&field)[N], std::u16string_view text) {
  static_assert(N > 0);
  std::u16string_view kept = text.substr(0, N - 1);
  // A high surrogate left without its partner would corrupt the name.
  if (kept.size() < text.size() && !kept.empty() && kept.back() >= 0xD800 && kept.back() <= 0xDBFF) {
    kept.remove_suffix(1);
  }
  std::size_t i = 0;
  for (char16_t c : kept) field[i++] = c;
  for (; i < N; ++i) field[i] = 0;
}

}  // namespace klm::driver
