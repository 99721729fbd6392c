// KLM71ui as a spooler meets it: `klm71 install` lays the package into a
// fresh machine root, `klm71 printer add` raises the initialise event, and
// the library is loaded from the driver directory and called through its
// exported entry points.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver-ui/printer_events.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/testing/temp_root.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

using platform::Hive;

const std::string kKey = std::string(kDriverKeyPrefix) + "Koravel LM-7100";

int Klm71(const std::string& args) {
  const std::string command =
      std::string(std::getenv("KLM71_BUILD_BIN")) + "/klm71 " + args + " >/dev/null 2>&1";
  return std::system(command.c_str());
}

class InstalledDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KLM71_ADMIN", "1", 1);
    ASSERT_EQ(Klm71("install"), 0);
  }
  void TearDown() override {
    if (module_ != nullptr) (void)platform::FreeModule(module_);
    unsetenv("KLM71_ADMIN");
  }
  template <typename Fn>
  Fn Entry(const char* name) {
    if (module_ == nullptr) {
      auto loaded = platform::LoadModule(platform::DriverDataDirectory() / "KLM71ui.dll");
      EXPECT_TRUE(loaded) << (loaded ? "" : loaded.error().message);
      if (!loaded) return nullptr;
      module_ = *loaded;
    }
    auto fn = reinterpret_cast<Fn>(platform::GetSymbol(module_, name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  static std::optional<platform::RegValue> Data(const char* name) {
    auto opened = platform::OpenPrinter("LM-7100");
    if (!opened) return std::nullopt;
    platform::ScopedPrinter printer(*opened);
    auto v = platform::GetPrinterData(printer.get(), name);
    return v ? std::optional(*v) : std::nullopt;
  }

  klm::testing::TempRoot root_;
  platform::Module* module_ = nullptr;
};

TEST_F(InstalledDriver, AddingAPrinterCopiesTheKeyAndNamesTheInformationLibrary) {
  ASSERT_FALSE(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll"));
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:"), 0);
  EXPECT_EQ(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll")->AsString(), u"KLM71F.DLL");
  ASSERT_TRUE(Data("Status TimeOut"));
  EXPECT_EQ(Data("Status TimeOut")->AsDword(), 5u);
  EXPECT_EQ(Data("Print TimeOut")->AsDword(), 120u);
  EXPECT_EQ(Data("MonitorDisplay")->AsDword(), 0u);
  EXPECT_EQ(Data("PrinterDataSize")->AsDword(), 104u);
  EXPECT_EQ(Data("PrinterData")->data.size(), 104u);
}

TEST_F(InstalledDriver, AnAdministratorsInformationLibraryIsKept) {
  ASSERT_TRUE(platform::RegSetValue(Hive::LocalMachine, kKey, "Info Dll", platform::RegValue::String(u"Site.dll")));
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:"), 0);
  EXPECT_EQ(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll")->AsString(), u"Site.dll");
}

TEST_F(InstalledDriver, AMissingKeyIsCreatedWithTheInformationLibraryOnly) {
  ASSERT_TRUE(platform::RegDeleteKey(Hive::LocalMachine, kKey));
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:"), 0);
  auto names = platform::RegListValues(Hive::LocalMachine, kKey);
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{"Info Dll"});
  EXPECT_FALSE(Data("Status TimeOut"));
}

TEST_F(InstalledDriver, UpgradeThroughTheExportedEntry) {
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:"), 0);
  {
    auto opened = platform::OpenPrinter("LM-7100", platform::PRINTER_ALL_ACCESS);
    ASSERT_TRUE(opened);
    platform::ScopedPrinter printer(*opened);
    std::vector<std::uint8_t> old(80, 0x11);
    old[0] = 0x00, old[1] = 0x04, old[2] = 80, old[3] = 0;
    ASSERT_TRUE(platform::SetPrinterData(printer.get(), "PrinterDataSize", platform::RegValue::Dword(80)));
    ASSERT_TRUE(platform::SetPrinterData(printer.get(), "PrinterData", platform::RegValue::Binary(old)));
  }
  using UpgradeFn = int (*)(std::uint32_t, const void*);
  auto upgrade = Entry<UpgradeFn>("DrvUpgradePrinter");
  ASSERT_NE(upgrade, nullptr);
  const DriverUpgradeInfo1 info{u"LM-7100", nullptr};

  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(upgrade(2, &info), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Data("PrinterData")->data.size(), 80u) << "a refused level changes nothing";

  EXPECT_EQ(upgrade(1, &info), 1);
  const auto block = Data("PrinterData")->data;
  ASSERT_EQ(block.size(), 104u);
  EXPECT_EQ(block[0] | block[1] << 8, 0x0500);
  EXPECT_EQ(block[2] | block[3] << 8, 104);
  for (std::size_t i = 4; i < 104; ++i) EXPECT_EQ(block[i], i < 80 ? 0x11 : 0) << "byte " << i;
}

TEST_F(InstalledDriver, EventsAndDocumentPropertiesThroughTheExportedEntries) {
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:"), 0);
  using EventFn = int (*)(const char16_t*, int, std::uint32_t, std::intptr_t);
  auto event = Entry<EventFn>("DrvPrinterEvent");
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(platform::RegSetValue(Hive::LocalMachine, kKey, "Limit Status TimeOut",
                                    platform::RegValue::Dword(100)));
  // `klm71 install` put the spooler's library into the system directory.
  EXPECT_EQ(event(u"LM-7100", PRINTER_EVENT_CACHE_REFRESH, 0, 0), 1);
  EXPECT_EQ(Data("Limit Status TimeOut")->AsDword(), 100u);

  using PropertiesFn = std::int32_t (*)(void*, void*, const char16_t*, void*, const void*, std::uint32_t);
  auto properties = Entry<PropertiesFn>("DrvDocumentProperties");
  ASSERT_NE(properties, nullptr);
  auto opened = platform::OpenPrinter("LM-7100");
  ASSERT_TRUE(opened);
  platform::ScopedPrinter printer(*opened);
  std::vector<std::uint8_t> out(496, 0);
  EXPECT_EQ(properties(nullptr, printer.get(), u"LM-7100", out.data(), nullptr, 0), 496);
  EXPECT_EQ(properties(nullptr, printer.get(), u"LM-7100", out.data(), nullptr, 2), 1);
  EXPECT_EQ(out[68] | out[69] << 8, 220);
  EXPECT_EQ(out[70] | out[71] << 8, 276);
  EXPECT_EQ(std::memcmp(out.data() + 220 + 32, "PRIV", 4), 0);
}

}  // namespace
}  // namespace klm::driver
