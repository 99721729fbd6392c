#include "driver-ui/devmode_copy.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace klm::driver {
namespace {

constexpr std::size_t kSpecVersionAt = offsetof(DevmodePublic, dmSpecVersion);
constexpr std::size_t kDriverVersionAt = offsetof(DevmodePublic, dmDriverVersion);
constexpr std::size_t kSizeAt = offsetof(DevmodePublic, dmSize);
constexpr std::size_t kDriverExtraAt = offsetof(DevmodePublic, dmDriverExtra);

void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint16_t SpecVersionForSize(std::uint16_t size, std::uint16_t own) {
  switch (size) {
    case kDevmodeSize300: return 0x0320;
    case kDevmodeSize400: return 0x0400;
    case kDevmodeSize: return kDmSpecVersion;
    default: return own;
  }
}

bool KnownSize(std::uint16_t size) {
  return size == kDevmodeSize300 || size == kDevmodeSize400 || size == kDevmodeSize;
}

}  // namespace

int CopyDevmode(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) {
  const auto src = ReadDevmodeHeader(source);
  if (!src || (!KnownSize(src->size) && src->spec_version == 0)) return -1;
  const auto dst = ReadDevmodeHeader(destination);
  if (!dst) return -1;
  const std::uint16_t version = SpecVersionForSize(dst->size, dst->spec_version);
  if (version == 0) return -1;

  // Each part is cut to what both sides declare and both buffers hold.
  const std::size_t pub = std::min({std::size_t{src->size}, std::size_t{dst->size},
                                    source.size(), destination.size()});
  const std::size_t src_tail = source.size() > src->size ? source.size() - src->size : 0;
  const std::size_t dst_tail = destination.size() > dst->size ? destination.size() - dst->size : 0;
  const std::size_t priv = std::min({std::size_t{src->driver_extra}, std::size_t{dst->driver_extra},
                                     src_tail, dst_tail});
  // The private bytes are read before the public copy can overwrite them
  // when both DEVMODEs share one buffer.
  std::vector<std::uint8_t> private_part(source.begin() + (priv ? src->size : 0),
                                         source.begin() + (priv ? src->size + priv : 0));
  std::memmove(destination.data(), source.data(), pub);
  Put16(destination, kSpecVersionAt, version);
  Put16(destination, kDriverVersionAt, dst->driver_version);
  Put16(destination, kSizeAt, dst->size);
  Put16(destination, kDriverExtraAt, dst->driver_extra);
  if (priv) std::memcpy(destination.data() + dst->size, private_part.data(), priv);
  return static_cast<int>(pub + priv);
}

bool WriteOutDevmode(const Devmode& working, std::optional<std::span<const std::uint8_t>> input,
                     std::span<std::uint8_t> output) {
  const auto whole = working.Bytes();
  const std::size_t working_size = std::size_t{working.pub.dmSize} + working.pub.dmDriverExtra;
  if (!input) {
    const std::size_t n = std::min(working_size, whole.size());
    if (output.size() < n) return false;
    std::memcpy(output.data(), whole.data(), n);
    return true;
  }
  const auto caller = ReadDevmodeHeader(*input);
  if (!caller || output.size() < kDevmodeHeaderSize) return false;
  const bool older = caller->size < kDevmodeSize;
  Put16(output, kSpecVersionAt, older ? caller->spec_version : working.pub.dmSpecVersion);
  Put16(output, kSizeAt, older ? caller->size : working.pub.dmSize);
  Put16(output, kDriverVersionAt, working.pub.dmDriverVersion);
  Put16(output, kDriverExtraAt, working.pub.dmDriverExtra);
  return CopyDevmode(whole, output) > 0;
}

}  // namespace klm::driver
