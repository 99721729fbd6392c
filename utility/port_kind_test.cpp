#include "utility/port_kind.h"

#include <gtest/gtest.h>

#include "utility/printer_commands.h"

namespace klm::utility {
namespace {

TEST(PortKind, PrefixesCompareWithoutCaseQmcomFirst) {
  struct Case {
    const char* port;
    PortKind kind;
  } cases[] = {
      {"QMCOM1:", PortKind::QmCom}, {"qmcom2:", PortKind::QmCom}, {"COM1:", PortKind::Com},
      {"com3:", PortKind::Com},     {"USB001", PortKind::Usb},    {"usb002", PortKind::Usb},
      {"QMUSB001", PortKind::Usb},  {"LPT1:", PortKind::Other},   {"FILE:", PortKind::Other},
      {"", PortKind::Other},        {"QM", PortKind::Other},      {"IP_10.0.0.5", PortKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyPort(c.port), c.kind) << c.port;
}

TEST(PortKind, SerialDeviceDropsTheQmOfQmcom) {
  EXPECT_EQ(SerialDeviceName("QMCOM2:", PortKind::QmCom), "COM2:");
  EXPECT_EQ(SerialDeviceName("COM1:", PortKind::Com), "COM1:");
  EXPECT_EQ(SerialDeviceName("USB001", PortKind::Usb), std::nullopt);
  EXPECT_EQ(SerialDeviceName("LPT1:", PortKind::Other), std::nullopt);
}

TEST(ReplyBudget, Table) {
  struct Case {
    std::uint32_t rate, minimum, budget;
  } cases[] = {
      {9600, 500, 500},   {300, 500, 1749},   {0, 500, 500},     {0, 1500, 1500},   {300, 1500, 1749},
      {600, 500, 874},    {1200, 500, 500},   {115200, 500, 500}, {9600, 1500, 1500}, {1, 500, 525000},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplyBudgetMs(c.rate, c.minimum), c.budget) << c.rate;
}

TEST(PrinterCommands, BaudRateTravelsInHundredsLowByteFirst) {
  EXPECT_EQ(SetBaudRateCommand(9600), (std::array<std::uint8_t, 5>{0x1B, 0x69, 0x42, 0x60, 0x00}));
  EXPECT_EQ(SetBaudRateCommand(115200), (std::array<std::uint8_t, 5>{0x1B, 0x69, 0x42, 0x80, 0x04}));
  EXPECT_EQ(SetCommand(Setting::CommandSystem, 3), (std::array<std::uint8_t, 6>{0x1B, 0x69, 0x55, 0x61, 0x00, 0x03}));
  EXPECT_EQ(QueryCommand(Setting::PowerOn), (std::array<std::uint8_t, 5>{0x1B, 0x69, 0x55, 0x70, 0x01}));
}

TEST(PrinterCommands, ModelCheckComparesBothCodes) {
  Reply status{0x80, 0x20, 0x42, '5', '1'};
  EXPECT_TRUE(ModelCheck(status, '5' | ('1' << 8)));
  EXPECT_FALSE(ModelCheck(status, '1' | ('5' << 8)));
  EXPECT_FALSE(ModelCheck(status, '5' | ('2' << 8)));
  EXPECT_FALSE(ModelCheck(status, 0xFFFF));  // the information library could not be asked
}

}  // namespace
}  // namespace klm::utility
