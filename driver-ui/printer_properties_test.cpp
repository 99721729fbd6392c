// The printer-properties page driven through the property-sheet host as a
// user would: the values it starts with, what OK stores, the read-only page,
// the program buttons, the version dialog; and PrinterProperties through
// the installed compstui library.
#include "driver-ui/printer_properties.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "driver-ui/driver_test_fixtures.h"
#include "driver-ui/port_kind.h"
#include "driver-ui/printer_data.h"
#include "driver-ui/printer_events.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "ui/platform_shell.h"
#include "ui/sheet_host/headless_sheet.h"
#include "ui/sheet_host/printer_properties_runner.h"

namespace klm::driver {
namespace {

namespace fs = std::filesystem;
using ui::sheet::HeadlessSheet;
using ui::sheet::kAboutId;
using ui::sheet::kUpDown;
using ui::sheet::kValue;

const std::string kKey = std::string(kDriverKeyPrefix) + testing::kDriverName;

std::int32_t Sheet(cpsui::PropSheetUiInfo* info, std::intptr_t param) {
  return DevicePropertySheets(reinterpret_cast<PropSheetUiInfo*>(info), param);
}

class PrinterPageTest : public ::testing::Test {
 protected:
  PrinterPageTest() {
    const fs::path bin = std::getenv("KLM71_BUILD_BIN");
    for (const char* name : {"KLM71r.dll", "KLM71ui.res"})
      fs::copy_file(bin / name, platform::DriverDataDirectory() / name);
    auto opened = platform::OpenPrinter(testing::kPrinterName, platform::PRINTER_ACCESS_ADMINISTER);
    EXPECT_TRUE(opened);
    printer_ = opened ? *opened : nullptr;
  }
  ~PrinterPageTest() override {
    if (printer_) platform::ClosePrinter(printer_);
  }

  // Runs the page in `sheet` with `user` playing the user; the sheet's answer.
  std::int32_t Run(HeadlessSheet& sheet, std::function<void(HeadlessSheet&)> user, std::uint16_t flags = 0) {
    cpsui::DevicePropertyHeader header{sizeof header, flags, printer_, u"LM-7100"};
    sheet.OnShow(std::move(user));
    return ui::sheet::RunPropertySheet(sheet, nullptr, &Sheet, reinterpret_cast<std::intptr_t>(&header), &result_);
  }
  std::optional<std::uint32_t> Data(const char* name) const {
    auto v = platform::GetPrinterData(printer_, name);
    return v ? v->AsDword() : std::nullopt;
  }
  void SetData(const char* name, std::uint32_t v) {
    ASSERT_TRUE(platform::SetPrinterData(printer_, name, platform::RegValue::Dword(v)));
  }
  static void SetKey(const char* name, std::uint32_t v) {
    ASSERT_TRUE(platform::RegCreateKey(platform::Hive::LocalMachine, kKey));
    ASSERT_TRUE(platform::RegSetValue(platform::Hive::LocalMachine, kKey, name, platform::RegValue::Dword(v)));
  }

  testing::ShippedMachine machine_;
  platform::PrinterHandle* printer_ = nullptr;
  std::uint32_t result_ = 99;
};

// What the page shows: the two time-outs and the checked monitor and media states.
struct Shown {
  std::string status, print;
  int monitor = -1, media = -1;
};
Shown ShownValues(HeadlessSheet& s) {
  Shown out;
  ui::HeadlessView& page = *s.Page();
  out.status = page.Text(s.Control(kItemStatusTimeOut, kValue));
  out.print = page.Text(s.Control(kItemPrintTimeOut, kValue));
  for (int k = 0; k < 3; ++k)
    if (page.Check(s.Control(kItemMonitorDisplay, kValue + k)) == ui::BST_CHECKED) out.monitor = k;
  for (int k = 0; k < 2; ++k)
    if (page.Check(s.Control(kItemSetMedia, kValue + k)) == ui::BST_CHECKED) out.media = k;
  return out;
}

TEST_F(PrinterPageTest, StartsFromPrinterDataThenTheKeyThenTheDefaults) {
  struct Value {
    const char* name;
    std::uint32_t value;
  };
  struct Case {
    const char* what;
    std::vector<Value> data, key;
    Shown shown;
  } cases[] = {
      {"nothing stored anywhere", {}, {}, {"5", "120", 0, 0}},
      {"the key only", {}, {{"Status TimeOut", 7}, {"Print TimeOut", 90}, {"MonitorDisplay", 1}}, {"7", "90", 1, 0}},
      {"a key without values", {}, {{"CustomLabel", 0}}, {"5", "120", 0, 0}},
      {"monitor display 5 in the key", {}, {{"MonitorDisplay", 5}}, {"5", "120", 0, 0}},
      {"printer data before the key",
       {{"Status TimeOut", 10}, {"Print TimeOut", 200}, {"MonitorDisplay", 2}, {"SetMedia", 1}},
       {{"Status TimeOut", 7}, {"Print TimeOut", 90}, {"MonitorDisplay", 1}},
       {"10", "200", 2, 1}},
      {"values outside the ranges", {{"Status TimeOut", 0}, {"Print TimeOut", 500}, {"MonitorDisplay", 3}},
       {}, {"1", "300", 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    (void)platform::RegDeleteKey(platform::Hive::LocalMachine, kKey);
    // An empty value cannot be read as a number: as good as none.
    for (const char* name : {"Status TimeOut", "Print TimeOut", "MonitorDisplay", "SetMedia"})
      ASSERT_TRUE(platform::SetPrinterData(printer_, name, platform::RegValue::Binary({})));
    for (const Value& v : c.data) SetData(v.name, v.value);
    for (const Value& v : c.key) SetKey(v.name, v.value);

    HeadlessSheet sheet;
    Shown shown;
    Run(sheet, [&shown](HeadlessSheet& s) {
      shown = ShownValues(s);
      s.Frame()->Click(ui::IDOK);
    });
    EXPECT_EQ(shown.status, c.shown.status);
    EXPECT_EQ(shown.print, c.shown.print);
    EXPECT_EQ(shown.monitor, c.shown.monitor);
    EXPECT_EQ(shown.media, c.shown.media);
    // OK stores what the page showed.
    EXPECT_EQ(Data("Status TimeOut"), std::stoul(c.shown.status));
    EXPECT_EQ(Data("Print TimeOut"), std::stoul(c.shown.print));
    EXPECT_EQ(Data("MonitorDisplay"), static_cast<std::uint32_t>(c.shown.monitor));
    EXPECT_EQ(Data("SetMedia"), static_cast<std::uint32_t>(c.shown.media));
  }
}

TEST_F(PrinterPageTest, OkStoresTheEditedValuesTrayTableAndPrinterData) {
  HeadlessSheet sheet;
  const std::int32_t answer = Run(sheet, [](HeadlessSheet& s) {
    ui::HeadlessView& page = *s.Page();
    EXPECT_TRUE(page.Type(s.Control(kItemStatusTimeOut, kValue), "30"));
    EXPECT_TRUE(page.StepUpDown(s.Control(kItemPrintTimeOut, kUpDown), +1));
    EXPECT_TRUE(page.Click(s.Control(kItemMonitorDisplay, kValue + 2)));
    EXPECT_TRUE(page.Click(s.Control(kItemSetMedia, kValue + 1)));
    s.Frame()->Click(ui::IDOK);
  });
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(result_, 1u);
  EXPECT_EQ(Data("Status TimeOut"), 30u);
  EXPECT_EQ(Data("Print TimeOut"), 121u);
  EXPECT_EQ(Data("MonitorDisplay"), 2u);
  EXPECT_EQ(Data("SetMedia"), 1u);
  EXPECT_EQ(Data("TrayFormSize"), 4u);
  auto table = platform::GetPrinterData(printer_, "TrayFormTable");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->data, (std::vector<std::uint8_t>{4, 0, 0, 0}));
  EXPECT_EQ(Data("PrinterDataSize"), 104u);
  auto block = platform::GetPrinterData(printer_, "PrinterData");
  ASSERT_TRUE(block);
  ASSERT_EQ(block->data.size(), 104u);
  EXPECT_EQ(testing::ReadLe(block->data.data(), 2), 0x0500u);
  EXPECT_TRUE(Data("FreeMem"));
  EXPECT_TRUE(platform::GetPrinterData(printer_, "PrinterHT"));
}

TEST_F(PrinterPageTest, CancelStoresNothing) {
  HeadlessSheet sheet;
  EXPECT_EQ(Run(sheet, [](HeadlessSheet& s) {
              s.Page()->Type(s.Control(kItemStatusTimeOut, kValue), "30");
              s.Frame()->Click(ui::IDCANCEL);
            }),
            0);
  EXPECT_FALSE(Data("Status TimeOut"));
  EXPECT_FALSE(platform::GetPrinterData(printer_, "PrinterData"));
}

TEST_F(PrinterPageTest, WithoutPermissionNothingIsEditableAndThereIsNoAbout) {
  HeadlessSheet sheet;
  Run(
      sheet,
      [](HeadlessSheet& s) {
        ui::HeadlessView& page = *s.Page();
        for (std::uintptr_t item : {kItemStatusTimeOut, kItemPrintTimeOut, kItemMonitorDisplay, kItemSetMedia})
          EXPECT_FALSE(page.IsEnabled(s.Control(item, kValue))) << item;
        EXPECT_FALSE(page.Type(s.Control(kItemStatusTimeOut, kValue), "30"));
        EXPECT_FALSE(page.HasControl(kAboutId));
        EXPECT_TRUE(page.IsEnabled(s.Control(kItemUtility, kValue)));
        s.Frame()->Click(ui::IDOK);
      },
      cpsui::DPS_NOPERMISSION);
  // The page applied nothing: no tray table, no block.
  EXPECT_FALSE(platform::GetPrinterData(printer_, "TrayFormTable"));
  EXPECT_FALSE(platform::GetPrinterData(printer_, "PrinterData"));
}

TEST_F(PrinterPageTest, ButtonsStartTheProgramsOfTheDriverFolder) {
  const fs::path log = machine_.root() / "shell.log";
  setenv("KLM71_SHELL_LOG", log.c_str(), 1);
  struct Case {
    const char* what;
    std::optional<std::uint32_t> custom_label;
    bool custom_button;
  } cases[] = {{"no CustomLabel", std::nullopt, false}, {"CustomLabel 0", 0, false}, {"CustomLabel 1", 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(log);
    if (c.custom_label) SetKey("CustomLabel", *c.custom_label);
    ui::PlatformShell shell;
    HeadlessSheet sheet(&shell);
    Run(sheet, [&c](HeadlessSheet& s) {
      EXPECT_EQ(s.Item(kItemCustomLabel) != nullptr, c.custom_button);
      s.Page()->Click(s.Control(kItemUtility, kValue));
      if (c.custom_button) s.Page()->Click(s.Control(kItemCustomLabel, kValue));
    });
    std::ifstream in(log);
    std::string utility, editor;
    std::getline(in, utility);
    std::getline(in, editor);
    const std::string dir = (platform::PrinterDriverDirectory() / "3").string();
    EXPECT_EQ(utility, dir + "/KLM71ut.exe|LM-7100|" + dir);
    EXPECT_EQ(editor, c.custom_button ? dir + "/KLM71ct.exe| \"LM-7100\"|" + dir : "");
  }
  unsetenv("KLM71_SHELL_LOG");
}

TEST_F(PrinterPageTest, AProgramThatCannotStartIsReported) {
  HeadlessSheet sheet;
  sheet.recording.open_result = MakeError(ERROR_FILE_NOT_FOUND, "no such program");
  Run(sheet, [](HeadlessSheet& s) { s.Page()->Click(s.Control(kItemUtility, kValue)); });
  ASSERT_EQ(sheet.recording.opened.size(), 1u);
  ASSERT_EQ(sheet.prompts.asked().size(), 1u);
  EXPECT_NE(sheet.prompts.asked()[0].text.find("KLM71ut.exe could not be started"), std::string::npos);
}

TEST_F(PrinterPageTest, UtilityButtonIsDisabledOnAStandardTcpIpPort) {
  struct Case {
    const char* port;
    bool tcp_key, enabled;
  } cases[] = {{"COM1:", false, true}, {"IP_10.0.0.5", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    ASSERT_TRUE(platform::SetPrinterPort(printer_, c.port));
    if (c.tcp_key) {
      ASSERT_TRUE(platform::RegCreateKey(platform::Hive::LocalMachine,
                                         std::string(kStandardTcpIpPortsKey) + "\\" + c.port));
    }
    HeadlessSheet sheet;
    Run(sheet, [&c](HeadlessSheet& s) {
      EXPECT_EQ(s.Page()->IsEnabled(s.Control(kItemUtility, kValue)), c.enabled);
    });
  }
}

TEST_F(PrinterPageTest, AboutShowsTheVersionDialog) {
  HeadlessSheet sheet;
  std::string model;
  sheet.OnDialog([&model](ui::HeadlessView& dialog, ui::DialogController&) {
    model = dialog.Text(800);
    return ui::IDOK;
  });
  Run(sheet, [](HeadlessSheet& s) { s.Page()->Click(kAboutId); });
  EXPECT_EQ(sheet.dialogs(), std::vector<std::string>{"DLG_VERSION"});
  EXPECT_EQ(model, "Koravel LM-7100 printer driver");
}

TEST_F(PrinterPageTest, SheetCallsWithoutOurContextAreRefused) {
  PropSheetUiInfo info{};
  info.cbSize = sizeof info;
  info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
  std::uint64_t junk[16] = {};
  info.UserData = reinterpret_cast<std::uintptr_t>(junk);
  PropSheetUiInfoHeader header{};
  EXPECT_EQ(DevicePropertySheets(&info, reinterpret_cast<std::intptr_t>(&header)), -1);
  info.UserData = 0;
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  EXPECT_EQ(DevicePropertySheets(&info, 0), -1);
  EXPECT_EQ(DevicePropertySheets(nullptr, 0), -1);
}

// PrinterProperties as a program calls it: KLM71ui loaded, the service
// found in the system directory and run without a window.
TEST_F(PrinterPageTest, PrinterPropertiesAnswersTrueOnlyForAnAcceptedSheet) {
  const fs::path bin = std::getenv("KLM71_BUILD_BIN");
  auto driver = platform::LoadModule(bin / "KLM71ui.so");
  ASSERT_TRUE(driver) << driver.error().message;
  using Fn = int (*)(void*, void*);
  auto entry = reinterpret_cast<Fn>(platform::GetSymbol(*driver, "PrinterProperties"));
  ASSERT_NE(entry, nullptr);

  EXPECT_EQ(entry(nullptr, printer_), 0) << "no compstui installed";
  fs::create_directories(platform::SystemDirectory());
  fs::copy_file(bin / "compstui.so", platform::SystemDirectory() / "compstui.so");
  struct Case {
    const char* mode;
    int answer;
  } cases[] = {{"ok", 1}, {"cancel", 0}, {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    setenv("KLM71_SHEET_HEADLESS", c.mode, 1);
    // "": a windowed sheet on the tests' offscreen platform, which nobody
    // could close; the service refuses it rather than waiting for ever.
    ASSERT_STREQ(std::getenv("QT_QPA_PLATFORM"), "offscreen");
    EXPECT_EQ(entry(nullptr, printer_), c.answer);
  }
  unsetenv("KLM71_SHEET_HEADLESS");
  EXPECT_EQ(Data("Permission"), 1u);
  EXPECT_EQ(Data("Status TimeOut"), 5u);  // stored by the accepted run
  (void)platform::FreeModule(*driver);
}

// What `klm71 properties PRINTER` runs: the printer's installed driver
// library, its PrinterProperties, the installed service.
TEST_F(PrinterPageTest, RunPrinterPropertiesUsesTheInstalledDriver) {
  const fs::path bin = std::getenv("KLM71_BUILD_BIN");
  EXPECT_EQ(ui::sheet::RunPrinterProperties(testing::kPrinterName).error().code, ERROR_MOD_NOT_FOUND);
  fs::copy_file(bin / "KLM71ui.so", platform::DriverDataDirectory() / "KLM71ui.so");
  fs::create_directories(platform::SystemDirectory());
  fs::copy_file(bin / "compstui.so", platform::SystemDirectory() / "compstui.so");
  setenv("KLM71_SHEET_HEADLESS", "ok", 1);
  auto accepted = ui::sheet::RunPrinterProperties(testing::kPrinterName);
  unsetenv("KLM71_SHEET_HEADLESS");
  ASSERT_TRUE(accepted) << accepted.error().message;
  EXPECT_TRUE(*accepted);
  EXPECT_EQ(Data("Print TimeOut"), 120u);
  EXPECT_FALSE(ui::sheet::RunPrinterProperties("no such printer"));
}

}  // namespace
}  // namespace klm::driver
