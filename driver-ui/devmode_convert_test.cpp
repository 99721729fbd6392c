#include "driver-ui/devmode_convert.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/driver_test_fixtures.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

TEST(ConvertDevmode, SizeQueriesAndRefusals) {
  struct Case {
    const char* what;
    std::uint32_t mode;
    bool output;
    std::optional<std::int32_t> size;
    int result;
    std::optional<std::int32_t> size_after;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"driver default into 400 bytes", CDM_DRIVER_DEFAULT, true, 400, 0, 496, ERROR_INSUFFICIENT_BUFFER},
      {"driver default without output asks for the size", CDM_DRIVER_DEFAULT, false, 0, 0, 496,
       ERROR_INSUFFICIENT_BUFFER},
      {"old conversion into 400 bytes", CDM_CONVERT351, true, 400, 0, 496, ERROR_INSUFFICIENT_BUFFER},
      {"old conversion fails without a code", CDM_CONVERT351, true, 496, 0, 496, 777},
      {"no size", CDM_DRIVER_DEFAULT, true, std::nullopt, 0, std::nullopt, ERROR_INVALID_PARAMETER},
      {"unknown mode", 3, true, 496, 0, 496, 777},
      {"convert without output", CDM_CONVERT, false, 496, 0, 496, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> out(496);
    std::int32_t size = c.size.value_or(0);
    SetLastError(777);
    EXPECT_EQ(ConvertDevmode(u"LM-7100", nullptr, c.output ? out.data() : nullptr,
                             c.size ? &size : nullptr, c.mode),
              c.result);
    if (c.size_after) {
      EXPECT_EQ(size, *c.size_after);
    }
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(ConvertDevmode, ConvertsIntoTheOutputsOwnShape) {
  klm::testing::TempRoot root;
  Devmode in;
  InitDevmode(in, u"x", PaperCatalogue{});
  in.pub.dmPaperSize = 400;

  Devmode out = Devmode::Zeroed();
  out.pub.dmSize = 188;
  out.pub.dmDriverExtra = 276;
  std::int32_t size = 496;
  ASSERT_EQ(ConvertDevmode(nullptr, &in, &out, &size, CDM_CONVERT), 1);
  EXPECT_EQ(size, 188 + 276);
  EXPECT_EQ(out.pub.dmSpecVersion, 0x0320);
  EXPECT_EQ(out.pub.dmPaperSize, 400);

  // The output's own size must fit the size given.
  size = 400;
  SetLastError(0);
  out.pub.dmSize = 220;
  EXPECT_EQ(ConvertDevmode(nullptr, &in, &out, &size, CDM_CONVERT), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(size, 400);
}

TEST(ConvertDevmode, UnknownPrinterHasNoDriverDefault) {
  testing::ShippedMachine machine;
  std::vector<std::uint8_t> out(496);
  std::int32_t size = 496;
  EXPECT_EQ(ConvertDevmode(u"No such printer", nullptr, out.data(), &size, CDM_DRIVER_DEFAULT), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);
}

// Through the exported entry point of the built library, as the spooler calls it.
TEST(DrvConvertDevMode, DriverDefaultEqualsInitDevmode) {
  testing::ShippedMachine machine;
  const std::string library = std::string(std::getenv("KLM71_BUILD_BIN")) + "/KLM71ui.so";
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  using Fn = std::int32_t (*)(const char16_t*, const void*, void*, std::int32_t*, std::uint32_t);
  auto convert = reinterpret_cast<Fn>(dlsym(handle, "DrvConvertDevMode"));
  ASSERT_NE(convert, nullptr);

  std::vector<std::uint8_t> out(496, 0xEE);
  std::int32_t size = 496;
  ASSERT_EQ(convert(u"LM-7100", nullptr, out.data(), &size, CDM_DRIVER_DEFAULT), 1);
  EXPECT_EQ(size, 496);

  Arena arena;
  auto catalogue = ReadCatalogue(arena, machine.data_file());
  ASSERT_TRUE(catalogue);
  Devmode expected;
  InitDevmode(expected, u"Koravel LM-7100", *catalogue);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.Bytes().begin()));
  dlclose(handle);
}

}  // namespace
}  // namespace klm::driver
