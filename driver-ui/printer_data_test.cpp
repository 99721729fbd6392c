#include "driver-ui/printer_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver-ui/driver_test_fixtures.h"
#include "platform/locale.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

class PrinterDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = platform::OpenPrinter(testing::kPrinterName, platform::PRINTER_ALL_ACCESS);
    ASSERT_TRUE(opened);
    printer_ = *opened;
  }
  void TearDown() override { platform::ClosePrinter(printer_); }
  void Set(const char* name, const platform::RegValue& value) {
    ASSERT_TRUE(platform::SetPrinterData(printer_, name, value));
  }
  testing::ShippedMachine machine_;
  platform::PrinterHandle* printer_ = nullptr;
};

TEST(MetricCountry, ByTelephoneCountryCode) {
  klm::testing::TempRoot root;
  struct Case { const char* code; bool metric; };
  const Case cases[] = {{"1", false},  {"2", false},  {"50", false}, {"59", false}, {"500", false},
                        {"599", false}, {"49", true},  {"60", true},  {"499", true}, {"600", true},
                        {"44", true}};
  for (const auto& c : cases) {
    ASSERT_TRUE(platform::SetLocaleOverride("country", c.code));
    EXPECT_EQ(IsMetricCountry(), c.metric) << c.code;
  }
}

TEST_F(PrinterDataTest, DefaultBlockFromPrinterValuesAndLocale) {
  struct Case {
    const char* what;
    std::optional<std::uint32_t> free_mem;
    std::optional<std::uint32_t> printer_ht;
    const char* country;
    const char* codepage;
    std::uint32_t memory, flags;
  };
  const Case cases[] = {
      {"nothing stored, metric", std::nullopt, std::nullopt, "49", "1252", 0, PD_METRIC},
      {"FreeMem 50 is raised", 50, std::nullopt, "49", "1252", 102400, PD_METRIC},
      {"FreeMem 200", 200, 0, "1", "1252", 204800, 0},
      {"FreeMem beyond 4 GB is held at the field's limit", 0x400000, 1, "1", "932", 0xFFFFFFFFu, PD_PRINTER_HT},
      {"other code page", std::nullopt, 1, "49", "1250", 0, PD_METRIC | PD_PRINTER_HT | PD_NON_LATIN_CP},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.free_mem) Set("FreeMem", platform::RegValue::Dword(*c.free_mem));
    else ASSERT_TRUE(platform::SetPrinterData(printer_, "FreeMem", platform::RegValue::StringUtf8("x")));
    if (c.printer_ht) {
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(*c.printer_ht), 0, 0, 0};
      Set("PrinterHT", platform::RegValue::Binary(bytes));
    } else {
      Set("PrinterHT", platform::RegValue::StringUtf8(""));
    }
    ASSERT_TRUE(platform::SetLocaleOverride("country", c.country));
    ASSERT_TRUE(platform::SetLocaleOverride("codepage", c.codepage));
    const PrinterData block = DefaultPrinterData(printer_);
    EXPECT_EQ(block.version, 0x0500);
    EXPECT_EQ(block.size, 104);
    EXPECT_EQ(block.memory, c.memory);
    EXPECT_EQ(block.flags, c.flags);
  }
}

TEST_F(PrinterDataTest, ShortStoredBlockFillsTheFrontOfAZeroedBlock) {
  std::vector<std::uint8_t> stored(80, 0xAB);
  stored[0] = 0x00, stored[1] = 0x04;  // an older version
  stored[2] = 80, stored[3] = 0;       // its own size
  Set("PrinterDataSize", platform::RegValue::Dword(80));
  Set("PrinterData", platform::RegValue::Binary(stored));
  const PrinterData block = ReadPrinterData(printer_);
  EXPECT_EQ(block.version, 0x0500);
  EXPECT_EQ(block.size, 104);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&block);
  for (int i = 4; i < 80; ++i) ASSERT_EQ(raw[i], 0xAB) << i;
  for (int i = 80; i < 104; ++i) ASSERT_EQ(raw[i], 0) << i;
}

TEST_F(PrinterDataTest, StoredSizeFieldAndLengthBoundTheCopy) {
  std::vector<std::uint8_t> stored(200, 0xCD);
  stored[2] = 60, stored[3] = 0;  // claims fewer bytes than stored
  Set("PrinterDataSize", platform::RegValue::Dword(200));
  Set("PrinterData", platform::RegValue::Binary(stored));
  auto block = ReadStoredPrinterData(printer_);
  ASSERT_TRUE(block);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&*block);
  EXPECT_EQ(raw[59], 0xCD);
  EXPECT_EQ(raw[60], 0);
}

TEST_F(PrinterDataTest, SizeZeroOrMissingDataGivesTheDefaultBlock) {
  Set("FreeMem", platform::RegValue::Dword(300));
  Set("PrinterDataSize", platform::RegValue::Dword(0));
  Set("PrinterData", platform::RegValue::Binary(std::vector<std::uint8_t>(104, 0x11)));
  EXPECT_FALSE(ReadStoredPrinterData(printer_));
  EXPECT_EQ(ReadPrinterData(printer_).memory, 300u * 1024);
}

TEST_F(PrinterDataTest, WrittenBlockReadsBackWithItsValues) {
  PrinterData block = DefaultPrinterData(printer_);
  block.memory = 512 * 1024;
  block.flags = PD_PRINTER_HT | PD_METRIC;
  block.reserved[91] = 7;
  ASSERT_TRUE(WritePrinterData(printer_, block));
  EXPECT_EQ(platform::GetPrinterData(printer_, "FreeMem")->AsDword(), 512u);
  const auto ht = platform::GetPrinterData(printer_, "PrinterHT");
  EXPECT_EQ(ht->type, platform::RegType::Binary);
  EXPECT_EQ(ht->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(platform::GetPrinterData(printer_, "PrinterDataSize")->AsDword(), 104u);
  const PrinterData back = ReadPrinterData(printer_);
  EXPECT_EQ(std::memcmp(&back, &block, sizeof block), 0);
}

}  // namespace
}  // namespace klm::driver
