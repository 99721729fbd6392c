// The private heap of a property sheet: every block of a context comes from
// its arena, and destroying the arena releases all of them at once. Blocks
// are never freed one by one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory_resource>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>

namespace klm::driver {

class Arena {
 public:
  // The first chunk is as large as the sheet's heap starts; later chunks grow.
  static constexpr std::size_t kInitialSize = 8192;

  Arena() : resource_(kInitialSize) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `count` zeroed objects, or an empty span when memory runs out. Only
  // trivially copyable types: nothing is ever destroyed.
  template <typename T>
  std::span<T> NewArray(std::size_t count) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    if (count == 0 || count > (std::size_t(-1) / 2) / sizeof(T)) return {};
    void* p = nullptr;
    try {
      // Packed records get natural alignment for their fields all the same.
      p = resource_.allocate(count * sizeof(T), std::max(alignof(T), alignof(std::max_align_t)));
    } catch (const std::bad_alloc&) {
      return {};
    }
    std::memset(p, 0, count * sizeof(T));
    return std::span<T>(static_cast<T*>(p), count);
  }

  template <typename T>
  T* New() {
    auto block = NewArray<T>(1);
    return block.empty() ? nullptr : block.data();
  }

  // A terminated copy of `text`, or nullptr when memory runs out.
  const char16_t* CopyString(std::u16string_view text) {
    auto block = NewArray<char16_t>(text.size() + 1);
    if (block.empty()) return nullptr;
    std::memcpy(block.data(), text.data(), text.size() * sizeof(char16_t));
    return block.data();
  }

 private:
  std::pmr::monotonic_buffer_resource resource_;
};

}  // namespace klm::driver
