#include "platform/spooler.h"

#include <gtest/gtest.h>

#include "platform/ports.h"
#include "platform/spool_c_api.h"
#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

class SpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KLM71_ADMIN", "1", 1);
    ASSERT_TRUE(AddPrinterDriver(DriverInfo{"Koravel LM-7100", "Windows x64", "/d/KLM71.so", "/d/3/klm71ad.qmd",
                                            "/d/KLM71ui.so", "", {}}));
    ASSERT_TRUE(AddPrinter({"LM-7100", "Koravel LM-7100", "COM1:", PRINTER_ATTRIBUTE_LOCAL}));
  }
  void TearDown() override { unsetenv("KLM71_ADMIN"); }
  testing::TempRoot root_;
};

TEST_F(SpoolerTest, OpenedPrinterShowsPortDriverAndData) {
  auto opened = OpenPrinter("lm-7100", PRINTER_ALL_ACCESS);
  ASSERT_TRUE(opened);
  ScopedPrinter printer(*opened);
  auto info = GetPrinter(printer.get());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, "LM-7100");
  EXPECT_EQ(info->port, "COM1:");
  EXPECT_EQ(info->driver, "Koravel LM-7100");
  EXPECT_TRUE(info->devmode.empty());

  ASSERT_TRUE(SetPrinterData(printer.get(), "FreeMem", RegValue::Dword(100)));
  EXPECT_EQ(GetPrinterData(printer.get(), "freemem")->AsDword(), 100u);
  EXPECT_EQ(GetPrinterData(printer.get(), "PrinterData").error().code, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetPrinterDriver(printer.get())->data_file, "/d/3/klm71ad.qmd");

  ASSERT_TRUE(SetPrinterPort(printer.get(), "FILE:"));
  EXPECT_EQ(GetPrinter(printer.get())->port, "FILE:");
}

TEST_F(SpoolerTest, AccessRules) {
  auto use = OpenPrinter("LM-7100", PRINTER_ACCESS_USE);
  ASSERT_TRUE(use);
  ScopedPrinter printer(*use);
  EXPECT_EQ(SetPrinterData(printer.get(), "X", RegValue::Dword(1)).error().code, ERROR_ACCESS_DENIED);
  setenv("KLM71_ADMIN", "0", 1);
  EXPECT_EQ(OpenPrinter("LM-7100", PRINTER_ALL_ACCESS).error().code, ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenPrinter("No such printer").error().code, ERROR_INVALID_PRINTER_NAME);
}

TEST_F(SpoolerTest, AddRefusesDuplicatesAndUnknownDrivers) {
  EXPECT_EQ(AddPrinter({"lm-7100", "Koravel LM-7100", "COM2:"}).error().code, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(AddPrinter({"Other", "Unknown driver", "COM2:"}).error().code, ERROR_UNKNOWN_PRINTER_DRIVER);
  EXPECT_EQ(EnumLocalPrinters()->size(), 1u);
}

TEST_F(SpoolerTest, HandleOfRemovedPrinterFailsCleanly) {
  ScopedPrinter printer(*OpenPrinter("LM-7100"));
  ASSERT_TRUE(DeletePrinter("LM-7100"));
  EXPECT_EQ(GetPrinter(printer.get()).error().code, ERROR_INVALID_PRINTER_NAME);
}

TEST_F(SpoolerTest, FormsStartWithTheStandardListThenAdded) {
  auto forms = EnumForms();
  ASSERT_TRUE(forms);
  ASSERT_GE(forms->size(), 41u);
  EXPECT_EQ((*forms)[0].name, "Letter");
  EXPECT_EQ((*forms)[8].name, "A4");
  EXPECT_EQ((*forms)[8].width_um, 210000);
  ASSERT_TRUE(AddForm({"4 x 6 Label", 0, 101600, 152400}));
  forms = EnumForms();
  EXPECT_EQ(forms->back().name, "4 x 6 Label");
  EXPECT_EQ(forms->back().right_um, 101600);
  EXPECT_FALSE(AddForm({"a4", 0, 1, 1}));
}

TEST_F(SpoolerTest, PortsMapWithoutCaseOrColon) {
  ASSERT_TRUE(MapPort("COM1:", "/dev/pts/7"));
  EXPECT_EQ(*PortDevice("com1"), "/dev/pts/7");
  EXPECT_EQ(PortDevice("COM2:").error().code, ERROR_UNKNOWN_PORT);
  EXPECT_EQ(GetDefaultCommConfig("COM1:")->baud_rate, 9600u);
  ASSERT_TRUE(SetDefaultCommConfig("COM1", SerialDefaults{115200}));
  EXPECT_EQ(GetDefaultCommConfig("com1:")->baud_rate, 115200u);
  EXPECT_EQ(*PortDevice("COM1:"), "/dev/pts/7");
}

TEST_F(SpoolerTest, CInterfaceReportsSizesAndErrors) {
  void* handle = nullptr;
  ASSERT_TRUE(KlmOpenPrinterW(u"LM-7100", &handle, PRINTER_ALL_ACCESS));
  const std::uint8_t block[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(KlmSetPrinterDataW(handle, u"PrinterData", 3, block, 6), 0u);
  std::uint32_t type = 0, needed = 0;
  std::uint8_t small[2];
  EXPECT_EQ(KlmGetPrinterDataW(handle, u"PrinterData", &type, small, 2, &needed), ERROR_MORE_DATA);
  EXPECT_EQ(needed, 6u);
  std::uint8_t out[6] = {};
  EXPECT_EQ(KlmGetPrinterDataW(handle, u"PrinterData", &type, out, 6, &needed), 0u);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(out[5], 6);
  EXPECT_TRUE(KlmClosePrinter(handle));
  EXPECT_FALSE(KlmOpenPrinterW(u"Missing", &handle, 0));
  EXPECT_EQ(KlmGetLastError(), ERROR_INVALID_PRINTER_NAME);
}

}  // namespace
}  // namespace klm::platform
