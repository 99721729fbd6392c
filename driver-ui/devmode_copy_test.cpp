#include "driver-ui/devmode_copy.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver-ui/driver_test_fixtures.h"

namespace klm::driver {
namespace {

using testing::ReadLe;

// A foreign DEVMODE: public bytes 0x11, private bytes 0x22, the header as given.
std::vector<std::uint8_t> Foreign(std::uint16_t size, std::uint16_t version, std::uint16_t extra,
                                  std::size_t present = SIZE_MAX) {
  std::vector<std::uint8_t> b(std::size_t{size} + extra, 0x11);
  std::fill(b.begin() + size, b.end(), 0x22);
  b[64] = static_cast<std::uint8_t>(version), b[65] = static_cast<std::uint8_t>(version >> 8);
  b[66] = 0x34, b[67] = 0x12;
  b[68] = static_cast<std::uint8_t>(size), b[69] = static_cast<std::uint8_t>(size >> 8);
  b[70] = static_cast<std::uint8_t>(extra), b[71] = static_cast<std::uint8_t>(extra >> 8);
  if (present < b.size()) b.resize(present);
  return b;
}

Devmode Driver() {
  Devmode d = Devmode::Zeroed();
  d.pub.dmSpecVersion = kDmSpecVersion;
  d.pub.dmDriverVersion = kDmDriverVersion;
  d.pub.dmSize = kDevmodeSize;
  d.pub.dmDriverExtra = kPrivDevmodeSize;
  return d;
}

TEST(CopyDevmode, SizesAndSpecVersionsIntoTheDriverDevmode) {
  struct Case {
    const char* what;
    std::uint16_t size, version, extra;
    std::size_t present;
    int copied;
  };
  const Case cases[] = {
      {"188-byte public part", 188, 0x0320, 0, SIZE_MAX, 188},
      {"212-byte public part with dmSpecVersion 0", 212, 0, 0, SIZE_MAX, 212},
      {"unknown size and dmSpecVersion 0 is refused", 200, 0, 0, SIZE_MAX, -1},
      {"unknown size with a dmSpecVersion", 200, 0x0400, 0, SIZE_MAX, 200},
      {"another driver's private part up to the smaller extra", 220, 0x0401, 100, SIZE_MAX, 320},
      {"a larger private part is cut to ours", 220, 0x0401, 400, SIZE_MAX, 496},
      {"declared sizes beyond the bytes present", 220, 0x0401, 276, 300, 300},
      {"public part beyond the bytes present", 220, 0x0401, 276, 150, 150},
      {"no header", 220, 0x0401, 276, 71, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto source = Foreign(c.size, c.version, c.extra, c.present);
    Devmode dm = Driver();
    EXPECT_EQ(CopyDevmode(source, dm.Bytes()), c.copied);
    EXPECT_EQ(dm.pub.dmSpecVersion, 0x0401);
    EXPECT_EQ(dm.pub.dmSize, 220);
    EXPECT_EQ(dm.pub.dmDriverExtra, 276);
    EXPECT_EQ(dm.pub.dmDriverVersion, 0x0500);
    if (c.copied < 0) continue;
    const auto bytes = dm.Bytes();
    const int pub = std::min<int>({c.size, 220, c.copied});
    EXPECT_EQ(bytes[pub - 1], 0x11);
    if (pub < 220) {
      EXPECT_EQ(bytes[pub], 0);
    }
    const int priv = c.copied - pub;
    if (priv > 0) {
      EXPECT_EQ(bytes[220 + priv - 1], 0x22);
    }
    if (priv < 276) {
      EXPECT_EQ(bytes[220 + priv], 0);
    }
  }
}

TEST(CopyDevmode, DestinationSpecVersionFollowsItsSize) {
  struct Case { std::uint16_t size, version; int copied; std::uint16_t version_after; };
  const Case cases[] = {{188, 0, 188, 0x0320}, {212, 0, 212, 0x0400}, {220, 0, 220, 0x0401},
                        {150, 0x0399, 150, 0x0399}, {150, 0, -1, 0}};
  const Devmode source = Driver();
  for (const auto& c : cases) {
    auto dest = Foreign(c.size, c.version, 0);
    EXPECT_EQ(CopyDevmode(source.Bytes(), dest), c.copied) << c.size;
    if (c.copied > 0) {
      EXPECT_EQ(ReadLe(&dest[64], 2), c.version_after) << c.size;
      EXPECT_EQ(ReadLe(&dest[66], 2), 0x1234u);  // the destination's driver version stays
      EXPECT_EQ(ReadLe(&dest[68], 2), c.size);
    }
  }
}

TEST(CopyDevmode, SameBufferIsSafe) {
  Devmode dm = Driver();
  dm.priv.Feed = 71;
  EXPECT_EQ(CopyDevmode(dm.Bytes(), dm.Bytes()), 496);
  EXPECT_EQ(dm.priv.Feed, 71);
}

TEST(WriteOutDevmode, WholeWithoutInputAndInTheCallersShapeWithIt) {
  Devmode working = Driver();
  working.priv.Signature = kPrivSignature;
  working.pub.dmPaperSize = 366;

  std::vector<std::uint8_t> out(496, 0xEE);
  ASSERT_TRUE(WriteOutDevmode(working, std::nullopt, out));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), working.Bytes().begin()));
  std::vector<std::uint8_t> small(300);
  EXPECT_FALSE(WriteOutDevmode(working, std::nullopt, small));

  // An older caller gets its own version and size, our private part behind it.
  const auto caller = Foreign(188, 0x0320, 0);
  std::vector<std::uint8_t> older(188 + 276, 0xEE);
  ASSERT_TRUE(WriteOutDevmode(working, std::span<const std::uint8_t>(caller), older));
  EXPECT_EQ(ReadLe(&older[64], 2), 0x0320u);
  EXPECT_EQ(ReadLe(&older[66], 2), 0x0500u);
  EXPECT_EQ(ReadLe(&older[68], 2), 188u);
  EXPECT_EQ(ReadLe(&older[70], 2), 276u);
  EXPECT_EQ(ReadLe(&older[78], 2), 366u);
  EXPECT_EQ(ReadLe(&older[188 + 32], 4), kPrivSignature);

  const auto current = Foreign(220, 0x0401, 0);
  std::vector<std::uint8_t> same(496, 0xEE);
  ASSERT_TRUE(WriteOutDevmode(working, std::span<const std::uint8_t>(current), same));
  EXPECT_TRUE(std::equal(same.begin(), same.end(), working.Bytes().begin()));
}

}  // namespace
}  // namespace klm::driver
