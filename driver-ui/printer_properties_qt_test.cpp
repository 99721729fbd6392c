// The printer-properties page in the Qt property sheet under the offscreen
// platform: it is drawn from its items, a screenshot is kept, OK stores.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>

#include "driver-ui/driver_test_fixtures.h"
#include "driver-ui/printer_properties.h"
#include "platform/machine_root.h"
#include "platform/spooler.h"
#include "ui/headless_view.h"
#include "ui/sheet_host/qt/qt_sheet.h"

namespace klm::driver {
namespace {

namespace fs = std::filesystem;

std::int32_t Sheet(cpsui::PropSheetUiInfo* info, std::intptr_t param) {
  return DevicePropertySheets(reinterpret_cast<PropSheetUiInfo*>(info), param);
}

TEST(PrinterPageQt, ShowsTheItemsAsControlsAndStoresOnOk) {
  static int argc = 1;
  static char name[] = "printer_properties_qt_test";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  testing::ShippedMachine machine;
  const fs::path bin = std::getenv("KLM71_BUILD_BIN");
  for (const char* file : {"KLM71r.dll", "KLM71ui.res"}) fs::copy_file(bin / file, platform::DriverDataDirectory() / file);
  auto opened = platform::OpenPrinter(testing::kPrinterName, platform::PRINTER_ACCESS_ADMINISTER);
  ASSERT_TRUE(opened);
  platform::ScopedPrinter printer(*opened);

  ui::RecordingShell shell;
  ui::sheet::QtSheet sheet(shell);
  QStringList edits;
  QString title;
  bool media_off = false;
  sheet.OnShown([&](ui::qt::QtDialogView& frame) {
    title = frame.windowTitle();
    for (auto* edit : frame.findChildren<QLineEdit*>()) edits << edit->text();
    for (auto* radio : frame.findChildren<QRadioButton*>())
      if (radio->text() == "Off") media_off = radio->isChecked();
    const QImage shot = frame.grab().toImage();
    const fs::path out = bin.parent_path() / "screenshots";
    fs::create_directories(out);
    EXPECT_TRUE(shot.save(QString::fromStdString((out / "printer_properties.png").string())));
    static_cast<QAbstractButton*>(frame.Widget(ui::IDOK))->click();
  });
  cpsui::DevicePropertyHeader header{sizeof header, 0, printer.get(), u"LM-7100"};
  std::uint32_t result = 0;
  EXPECT_EQ(ui::sheet::RunPropertySheet(sheet, nullptr, &Sheet, reinterpret_cast<std::intptr_t>(&header), &result), 1);
  EXPECT_EQ(title, "LM-7100 Properties");
  EXPECT_EQ(edits, (QStringList{"5", "120"}));
  EXPECT_TRUE(media_off);
  auto stored = platform::GetPrinterData(printer.get(), "Print TimeOut");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->AsDword(), 120u);
}

}  // namespace
}  // namespace klm::driver
