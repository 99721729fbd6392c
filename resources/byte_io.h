// Little-endian writing and bounds-checked reading for the resource-library
// file. Every read checks the remaining length first: the file may be cut or
// damaged, and a bad length must end the parse, never run past the buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace klm::res {

class ByteWriter {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void Raw(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void Raw(std::string_view s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
  // A string of up to 65535 bytes: 16-bit length, then the bytes. Longer
  // strings are cut; the compiler refuses them before they get here.
  void Str(std::string_view s) {
    if (s.size() > 0xFFFF) s = s.substr(0, 0xFFFF);
    U16(static_cast<std::uint16_t>(s.size()));
    Raw(s);
  }
  // A block of up to 4 GiB: 32-bit length, then the bytes.
  void Blob(std::span<const std::uint8_t> b) {
    U32(static_cast<std::uint32_t>(b.size()));
    Raw(b);
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Each getter answers nothing once the input is exhausted; after the first
// failure every later call fails too, so a parser may check once at the end.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> in) : in_(in) {}

  std::optional<std::uint8_t> U8() {
    if (!Need(1)) return std::nullopt;
    return in_[pos_++];
  }
  std::optional<std::uint16_t> U16() {
    if (!Need(2)) return std::nullopt;
    std::uint16_t v = static_cast<std::uint16_t>(in_[pos_] | (in_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  std::optional<std::uint32_t> U32() {
    if (!Need(4)) return std::nullopt;
    std::uint32_t v = static_cast<std::uint32_t>(in_[pos_]) | (static_cast<std::uint32_t>(in_[pos_ + 1]) << 8) |
                      (static_cast<std::uint32_t>(in_[pos_ + 2]) << 16) |
                      (static_cast<std::uint32_t>(in_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  std::optional<std::int32_t> I32() {
    auto v = U32();
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
  }
  std::optional<std::span<const std::uint8_t>> Bytes(std::size_t n) {
    if (!Need(n)) return std::nullopt;
    auto s = in_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  std::optional<std::string> Str() {
    auto n = U16();
    if (!n) return std::nullopt;
    auto b = Bytes(*n);
    if (!b) return std::nullopt;
    return std::string(b->begin(), b->end());
  }
  std::optional<std::span<const std::uint8_t>> Blob() {
    auto n = U32();
    if (!n) return std::nullopt;
    return Bytes(*n);
  }
  bool failed() const { return failed_; }
  bool AtEnd() const { return pos_ == in_.size(); }
  std::size_t remaining() const { return in_.size() - pos_; }

 private:
  bool Need(std::size_t n) {
    if (failed_ || in_.size() - pos_ < n) {
      failed_ = true;
      return false;
    }
    return true;
  }
  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace klm::res
