#include "utility/utility_settings.h"

#include <gtest/gtest.h>

#include "platform/ports.h"
#include "platform/registry.h"
#include "platform/testing/temp_root.h"
#include "utility/port_switch.h"
#include "utility/testing/sim_fixture.h"

namespace klm::utility {
namespace {

using Strings = std::vector<std::string>;

TEST(BaudrateList, SplitsAtCommasKeepsAtMost49AndEndsWithZero) {
  std::string sixty;
  for (int i = 0; i < 60; ++i) sixty += std::to_string(1000 + i) + ",";
  struct Case {
    std::string text;
    Strings list;
  } cases[] = {
      {"", {"0"}},
      {"9600", {"9600", "0"}},
      {"9600,19200,38400", {"9600", "19200", "38400", "0"}},
      {",9600,,19200,", {"9600", "19200", "0"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseBaudrateList(c.text), c.list) << c.text;

  Strings long_list = ParseBaudrateList(sixty);
  ASSERT_EQ(long_list.size(), 50u);
  EXPECT_EQ(long_list[48], "1048");
  EXPECT_EQ(long_list.back(), "0");

  Strings cut = ParseBaudrateList(std::string(400, '9'));
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[0].size(), 259u);
}

TEST(BaudrateList, FindsTheFirstEntryThatBeginsWithTheRate) {
  Strings list{"4800", "9600 (default)", "96000", "0"};
  EXPECT_EQ(FindBaudEntry(list, 9600), 1u);
  EXPECT_EQ(FindBaudEntry(list, 115200), std::nullopt);
}

TEST(UtilityRegistry, BaudRateValuesUnderTheDriverKey) {
  klm::testing::TempRoot root;
  const std::string driver = "Koravel LM-7100";
  EXPECT_EQ(ReadStoredBaudRate(driver), 9600u);  // missing
  EXPECT_EQ(ReadBaudrateList(driver), Strings{"0"});
  ASSERT_TRUE(WriteStoredBaudRate(driver, 0));     // creates the key
  EXPECT_EQ(ReadStoredBaudRate(driver), 9600u);    // 0 counts as missing
  ASSERT_TRUE(WriteStoredBaudRate(driver, 38400));
  EXPECT_EQ(ReadStoredBaudRate(driver), 38400u);
  auto raw = platform::RegQueryValue(platform::Hive::LocalMachine,
                                     "SOFTWARE\\Koravel Industries, Ltd.\\Quillmark\\Driver\\3.0\\Koravel LM-7100",
                                     "Baudrate");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->type, platform::RegType::Dword);

  ASSERT_TRUE(platform::RegSetValue(platform::Hive::LocalMachine, DriverKey(driver), "BaudrateList",
                                    platform::RegValue::StringUtf8("9600,19200")));
  EXPECT_EQ(ReadBaudrateList(driver), (Strings{"9600", "19200", "0"}));

  // A COM port's rate is its default configuration; other ports use "Baudrate".
  ASSERT_TRUE(platform::SetDefaultCommConfig("COM1", {57600}));
  EXPECT_EQ(ReadCurrentBaudRate("COM1:", PortKind::Com, driver).value_or(0), 57600u);
  EXPECT_EQ(ReadCurrentBaudRate("QMCOM1:", PortKind::QmCom, driver).value_or(0), 38400u);
  EXPECT_EQ(ReadCurrentBaudRate("USB001", PortKind::Usb, driver).value_or(0), 38400u);
}

using PortSwitch = testing::SimFixture;

TEST_F(PortSwitch, AComPrinterGoesToFileAndBackExactlyOnce) {
  AddPrinter("COM1:");
  {
    ScopedFilePort sw(testing::kPrinter, "COM1:", PortKind::Com);
    EXPECT_TRUE(sw.switched());
    EXPECT_EQ(PrinterPort(), "FILE:");
    ASSERT_TRUE(sw.Restore());
    EXPECT_EQ(PrinterPort(), "COM1:");
    // Someone else moves the printer now; the switch must not undo it again.
    ASSERT_TRUE(SetPortOfPrinter(testing::kPrinter, "COM2:"));
    ASSERT_TRUE(sw.Restore());
  }
  EXPECT_EQ(PrinterPort(), "COM2:");

  ASSERT_TRUE(SetPortOfPrinter(testing::kPrinter, "COM1:"));
  { ScopedFilePort sw(testing::kPrinter, "COM1:", PortKind::Com); }  // early end without Restore
  EXPECT_EQ(PrinterPort(), "COM1:");

  ASSERT_TRUE(SetPortOfPrinter(testing::kPrinter, "QMCOM1:"));
  {
    ScopedFilePort sw(testing::kPrinter, "QMCOM1:", PortKind::QmCom);
    EXPECT_FALSE(sw.switched());
    EXPECT_EQ(PrinterPort(), "QMCOM1:");
  }
}

}  // namespace
}  // namespace klm::utility
