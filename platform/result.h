// A value or the reason it could not be produced. Used inside every module;
// entry points translate it into the answer their interface promises.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "platform/win_errors.h"

namespace klm {

struct Error {
  std::uint32_t code = ERROR_GEN_FAILURE;  // a Win32-style error code
  std::string message;                     // names what failed and why
};

inline Error MakeError(std::uint32_t code, std::string message) {
  return Error{code, std::move(message)};
}

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(v_); }
  T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Error> v_;
};

// Result of an operation that yields nothing but success or a reason.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), ok_(false) {}
  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const Error& error() const { return error_; }

 private:
  Error error_;
  bool ok_ = true;
};

using Status = Result<void>;

}  // namespace klm
