// Feeds arbitrary bytes to the readers of bytes from outside: as a user
// label-format file, as a stored DEVMODE copied into the driver's DEVMODE
// (and the driver's DEVMODE copied into it), and to the decoder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver-ui/devmode_copy.h"
#include "driver-ui/devmode_fields.h"
#include "driver-ui/devmode_init.h"
#include "driver-ui/user_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace klm::driver;
  // Exact-size copies so any read past the end is caught.
  std::vector<std::uint8_t> bytes(data, data + size);

  for (const auto& f : ParseUserFormats(bytes)) {
    if (f.name[kUserFormatNameBytes - 1] != 0) __builtin_trap();
  }

  Devmode dm = Devmode::Zeroed();
  dm.pub.dmSize = kDevmodeSize;
  dm.pub.dmDriverExtra = kPrivDevmodeSize;
  dm.pub.dmSpecVersion = kDmSpecVersion;
  const int copied = CopyDevmode(bytes, dm.Bytes());
  if (copied > static_cast<int>(kDriverDevmodeSize)) __builtin_trap();
  if (dm.pub.dmSize != kDevmodeSize || dm.pub.dmDriverExtra != kPrivDevmodeSize) __builtin_trap();

  // The other way: the foreign bytes are the destination and say their own shape.
  std::vector<std::uint8_t> out = bytes;
  (void)CopyDevmode(dm.Bytes(), out);
  (void)WriteOutDevmode(dm, std::span<const std::uint8_t>(bytes), out);

  (void)DecodeDevmode(bytes);
  return 0;
}
