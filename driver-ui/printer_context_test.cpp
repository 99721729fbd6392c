#include "driver-ui/printer_context.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "driver-ui/document_properties.h"
#include "driver-ui/driver_test_fixtures.h"
#include "platform/spooler.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

using testing::ShippedMachine;

class ContextTest : public ::testing::Test {
 protected:
  static platform::ScopedPrinter Open(std::uint32_t access = platform::PRINTER_ACCESS_USE) {
    auto opened = platform::OpenPrinter(testing::kPrinterName, access);
    EXPECT_TRUE(opened);
    return platform::ScopedPrinter(opened ? *opened : nullptr);
  }
  // The driver's default DEVMODE as a context builds it.
  Devmode DriverDefault() {
    auto printer = Open();
    auto context = CreateContext(printer.get(), std::nullopt);
    EXPECT_TRUE(context);
    if (!context) return Devmode::Zeroed();
    Devmode d = (*context)->driverDefault;
    DestroyContext(*context);
    return d;
  }
  static std::vector<std::uint8_t> BytesOf(const Devmode& d) {
    return std::vector<std::uint8_t>(d.Bytes().begin(), d.Bytes().end());
  }

  ShippedMachine machine_;
};

TEST_F(ContextTest, ANewContextHoldsTheDriverDefaultsAndItsMarkers) {
  auto printer = Open();
  auto created = CreateContext(printer.get(), std::nullopt);
  ASSERT_TRUE(created) << created.error().message;
  PrinterContext* c = *created;
  EXPECT_EQ(c->self, c);
  EXPECT_EQ(c->selfEnd, c);
  EXPECT_EQ(c->printer, printer.get());
  ASSERT_NE(c->heap, nullptr);
  EXPECT_EQ(std::u16string_view(c->driverName), u"Koravel LM-7100");
  ASSERT_TRUE(c->catalogue.HasModelAndPapers());
  EXPECT_TRUE(c->catalogue.entries[c->catalogue.count].IsTerminator());
  // Nothing was merged: the working settings are the defaults.
  EXPECT_EQ(BytesOf(c->working), BytesOf(c->driverDefault));
  EXPECT_EQ(c->working.priv.Signature, kPrivSignature);
  EXPECT_EQ(c->printerData.version, kPrinterDataVersion);
  EXPECT_EQ(c->printerData.size, kPrinterDataSize);
  EXPECT_EQ(c->dialog, nullptr);
  EXPECT_TRUE(DestroyContext(c));
}

TEST_F(ContextTest, ThePrintersDefaultAndThenTheCallersDevmodeAreMerged) {
  Devmode printer_default = DriverDefault();
  printer_default.pub.dmCopies = 5;
  printer_default.pub.dmOrientation = 1;
  {
    auto admin = Open(platform::PRINTER_ALL_ACCESS);
    ASSERT_TRUE(platform::SetPrinterDevmode(admin.get(), printer_default.Bytes()));
  }
  Devmode caller = DriverDefault();
  caller.pub.dmFields = DM_COPIES;
  caller.pub.dmCopies = 7;

  auto printer = Open();
  auto created = CreateContext(printer.get(), caller.Bytes());
  ASSERT_TRUE(created);
  EXPECT_EQ((*created)->working.pub.dmCopies, 7) << "the caller's value comes last";
  EXPECT_EQ((*created)->working.pub.dmOrientation, 1) << "from the printer's default";
  EXPECT_EQ((*created)->driverDefault.pub.dmCopies, 1) << "defaults are kept before any merge";
  EXPECT_EQ((*created)->driverDefault.pub.dmOrientation, 2);
  DestroyContext(*created);
}

TEST_F(ContextTest, ACallersDevmodeThatCannotBeMergedLeavesTheDefaults) {
  // dmSize 100 is no known size and dmSpecVersion 0 vouches for nothing.
  std::vector<std::uint8_t> odd(100 + 276, 0x5A);
  odd[64] = odd[65] = 0;
  odd[68] = 100, odd[69] = 0;
  odd[70] = 276 & 0xFF, odd[71] = 276 >> 8;
  auto printer = Open();
  auto created = CreateContext(printer.get(), odd);
  ASSERT_TRUE(created);
  EXPECT_EQ(BytesOf((*created)->working), BytesOf((*created)->driverDefault));
  DestroyContext(*created);
}

TEST_F(ContextTest, NoContextWithoutPrinterOrCatalogue) {
  EXPECT_FALSE(CreateContext(nullptr, std::nullopt));
  std::filesystem::remove(machine_.data_file());
  auto printer = Open();
  auto created = CreateContext(printer.get(), std::nullopt);
  ASSERT_FALSE(created);
  EXPECT_NE(created.error().message.find(machine_.data_file().string()), std::string::npos)
      << created.error().message;
}

TEST_F(ContextTest, TheStoredPrinterDataBlockIsNormalised) {
  std::vector<std::uint8_t> stored(80, 0x33);
  stored[0] = 0x00, stored[1] = 0x04, stored[2] = 80, stored[3] = 0;
  {
    auto admin = Open(platform::PRINTER_ALL_ACCESS);
    ASSERT_TRUE(platform::SetPrinterData(admin.get(), "PrinterDataSize", platform::RegValue::Dword(80)));
    ASSERT_TRUE(platform::SetPrinterData(admin.get(), "PrinterData", platform::RegValue::Binary(stored)));
  }
  auto printer = Open();
  auto created = CreateContext(printer.get(), std::nullopt);
  ASSERT_TRUE(created);
  const auto& block = (*created)->printerData;
  EXPECT_EQ(block.version, kPrinterDataVersion);
  EXPECT_EQ(block.size, kPrinterDataSize);
  EXPECT_EQ(block.flags, 0x33333333u);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&block);
  for (std::size_t i = 80; i < sizeof block; ++i) EXPECT_EQ(raw[i], 0) << "byte " << i;
  DestroyContext(*created);
}

// Every entry point that gets a context back refuses one whose markers do
// not hold its address.
TEST_F(ContextTest, ADamagedContextIsRefusedEverywhere) {
  auto printer = Open();
  auto created = CreateContext(printer.get(), std::nullopt);
  ASSERT_TRUE(created);
  PrinterContext* c = *created;

  auto refused_everywhere = [&](const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(AcceptContext(c, SheetKind::Document), nullptr);
    EXPECT_EQ(AcceptContext(c, SheetKind::Printer), nullptr);
    PropSheetUiInfo info{};
    info.cbSize = sizeof info;
    info.UserData = reinterpret_cast<std::uintptr_t>(c);
    PropSheetUiInfoHeader header{};
    info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    EXPECT_EQ(DocumentPropertySheets(&info, reinterpret_cast<std::intptr_t>(&header)), -1);
    EXPECT_EQ(header.IconID, 0u);
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(DocumentPropertySheets(&info, 0), -1);
    EXPECT_FALSE(DestroyContext(c));
  };

  c->selfEnd = reinterpret_cast<PrinterContext*>(reinterpret_cast<std::uintptr_t>(c) + 8);
  refused_everywhere("trailing marker overwritten");
  c->selfEnd = c;
  c->self = nullptr;
  refused_everywhere("leading marker overwritten");
  c->self = c;

  // A document sheet also needs the entry table; a printer sheet does not.
  PaperEntry* entries = c->catalogue.entries;
  c->catalogue.entries = nullptr;
  EXPECT_EQ(AcceptContext(c, SheetKind::Document), nullptr);
  EXPECT_EQ(AcceptContext(c, SheetKind::Printer), c);
  c->catalogue.entries = entries;

  EXPECT_EQ(AcceptContext(nullptr, SheetKind::Printer), nullptr);
  PropSheetUiInfo info{};
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  info.UserData = reinterpret_cast<std::uintptr_t>(c);
  EXPECT_EQ(DocumentPropertySheets(&info, 0), 1) << "a sound context is destroyed";
  EXPECT_EQ(info.UserData, 0u);
}

TEST_F(ContextTest, GetInfoHeaderDescribesTheSheet) {
  auto printer = Open();
  auto created = CreateContext(printer.get(), std::nullopt);
  ASSERT_TRUE(created);
  DocumentPropertyHeader doc{};
  doc.cbSize = sizeof doc;
  doc.pszPrinterName = u"LM-7100";
  PropSheetUiInfo info{};
  info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
  info.lParamInit = reinterpret_cast<std::intptr_t>(&doc);
  info.UserData = reinterpret_cast<std::uintptr_t>(*created);
  PropSheetUiInfoHeader header{};
  EXPECT_EQ(DocumentPropertySheets(&info, reinterpret_cast<std::intptr_t>(&header)), 1);
  EXPECT_EQ(header.Flags, 6);
  EXPECT_EQ(header.pTitle, doc.pszPrinterName);
  EXPECT_EQ(header.IconID, 64082u);
  DestroyContext(*created);
}

struct HookLog {
  int created = 0;
  int destroyed = 0;
  bool context_sound_at_destroy = false;
  bool refuse = false;
};
HookLog g_hooks;
int g_dialog_object;

TEST_F(ContextTest, TheDialogObjectIsMadeWithTheContextAndGoesBeforeIt) {
  g_hooks = {};
  SetDialogHooks(DialogHooks{
      [](PrinterContext&) -> void* {
        ++g_hooks.created;
        return g_hooks.refuse ? nullptr : &g_dialog_object;
      },
      [](PrinterContext& c, void* dialog) {
        ++g_hooks.destroyed;
        g_hooks.context_sound_at_destroy = dialog == &g_dialog_object && c.self == &c && c.selfEnd == &c;
      }});
  auto printer = Open();
  auto created = CreateContext(printer.get(), std::nullopt);
  ASSERT_TRUE(created);
  EXPECT_EQ((*created)->dialog, &g_dialog_object);
  EXPECT_TRUE(DestroyContext(*created));
  EXPECT_EQ(g_hooks.created, 1);
  EXPECT_EQ(g_hooks.destroyed, 1);
  EXPECT_TRUE(g_hooks.context_sound_at_destroy);

  g_hooks.refuse = true;
  EXPECT_FALSE(CreateContext(printer.get(), std::nullopt)) << "no dialog object, no context";
  SetDialogHooks({});
}

}  // namespace
}  // namespace klm::driver
