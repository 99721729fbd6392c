#include "driver-ui/printer_events.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

#include "driver-ui/printer_data.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/testing/temp_root.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

using platform::Hive;
using platform::RegValue;

constexpr const char* kDriver = "Koravel LM-7100";
constexpr const char* kPrinter = "LM-7100";
constexpr char16_t kPrinter16[] = u"LM-7100";
const std::string kKey = std::string(kDriverKeyPrefix) + kDriver;

// A machine with the driver and one printer on COM1:, as administrator.
class EventMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KLM71_ADMIN", "1", 1);
    ASSERT_TRUE(platform::AddPrinterDriver(platform::DriverInfo{kDriver}));
    ASSERT_TRUE(platform::AddPrinter({kPrinter, kDriver, "COM1:"}));
  }
  void TearDown() override { unsetenv("KLM71_ADMIN"); }

  static platform::ScopedPrinter Open(std::uint32_t access = platform::PRINTER_ALL_ACCESS) {
    auto opened = platform::OpenPrinter(kPrinter, access);
    EXPECT_TRUE(opened);
    return platform::ScopedPrinter(opened ? *opened : nullptr);
  }
  static std::optional<RegValue> Data(const char* name) {
    auto p = Open(platform::PRINTER_ACCESS_USE);
    auto v = platform::GetPrinterData(p.get(), name);
    return v ? std::optional(*v) : std::nullopt;
  }
  static void SetData(const char* name, const RegValue& value) {
    auto p = Open();
    ASSERT_TRUE(platform::SetPrinterData(p.get(), name, value));
  }
  static void SetKeyValue(const char* name, const RegValue& value) {
    ASSERT_TRUE(platform::RegCreateKey(Hive::LocalMachine, kKey));
    ASSERT_TRUE(platform::RegSetValue(Hive::LocalMachine, kKey, name, value));
  }
  // Puts one of the built spooler libraries where the driver looks for it.
  static void InstallSpooler(const char* built) {
    const std::filesystem::path bin = std::getenv("KLM71_BUILD_BIN");
    std::filesystem::create_directories(platform::SystemDirectory());
    std::filesystem::copy_file(bin / built, platform::SystemDirectory() / "spoolss.so",
                               std::filesystem::copy_options::overwrite_existing);
  }

  klm::testing::TempRoot root_;
};

TEST_F(EventMachine, KeyValuesAreCopiedWithTheirTypeAndBytes) {
  SetKeyValue("Status TimeOut", RegValue::Dword(7));
  const std::uint8_t odd[] = {1, 2, 3};
  SetKeyValue("Limit Print TimeOut", RegValue::Binary(odd));
  SetKeyValue("Limit Status TimeOut", RegValue::String(u"1-100"));
  SetKeyValue("CustomLabel", RegValue::Dword(1));  // not one of the copied values

  auto printer = Open();
  EXPECT_TRUE(CopyKeyToPrinterData(printer.get()));

  ASSERT_TRUE(Data("Status TimeOut"));
  EXPECT_EQ(Data("Status TimeOut")->type, platform::RegType::Dword);
  EXPECT_EQ(Data("Status TimeOut")->AsDword(), 7u);
  ASSERT_TRUE(Data("Limit Print TimeOut"));
  EXPECT_EQ(Data("Limit Print TimeOut")->type, platform::RegType::Binary);
  EXPECT_EQ(Data("Limit Print TimeOut")->data, std::vector<std::uint8_t>(odd, odd + 3));
  EXPECT_EQ(Data("Limit Status TimeOut")->AsString(), u"1-100");
  EXPECT_FALSE(Data("Print TimeOut"));
  EXPECT_FALSE(Data("MonitorDisplay"));
  EXPECT_FALSE(Data("CustomLabel"));
}

TEST_F(EventMachine, InfoDllIsKeptWhenPresentAndTheKeyCreatedWhenMissing) {
  auto printer = Open();
  ASSERT_FALSE(platform::RegKeyExists(Hive::LocalMachine, kKey));
  EXPECT_TRUE(CopyKeyToPrinterData(printer.get()));
  auto names = platform::RegListValues(Hive::LocalMachine, kKey);
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{"Info Dll"});
  auto info = platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->type, platform::RegType::Sz);
  EXPECT_EQ(info->data.size(), 22u);
  EXPECT_EQ(info->AsString(), u"KLM71F.DLL");

  SetKeyValue("Info Dll", RegValue::String(u"Other.dll"));
  EXPECT_TRUE(CopyKeyToPrinterData(printer.get()));
  EXPECT_EQ(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll")->AsString(), u"Other.dll");
}

TEST_F(EventMachine, APrinterThatCannotBeAskedChangesNothing) {
  EXPECT_FALSE(CopyKeyToPrinterData(nullptr));
  EXPECT_FALSE(platform::RegKeyExists(Hive::LocalMachine, kKey));
  // A driver name that would address another key is refused.
  EXPECT_FALSE(DriverKey(""));
  EXPECT_FALSE(DriverKey("..\\Other"));
}

std::vector<std::uint8_t> Block(std::uint16_t version, std::uint16_t size_field, std::size_t stored) {
  std::vector<std::uint8_t> bytes(stored);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
  bytes[0] = static_cast<std::uint8_t>(version), bytes[1] = static_cast<std::uint8_t>(version >> 8);
  bytes[2] = static_cast<std::uint8_t>(size_field), bytes[3] = static_cast<std::uint8_t>(size_field >> 8);
  return bytes;
}

TEST_F(EventMachine, StoredBlocksAreBroughtToTheCurrentVersion) {
  struct Case {
    const char* what;
    std::uint16_t version, size_field;
    std::size_t stored;
    std::size_t kept;  // bytes of the stored block that survive
  } cases[] = {
      {"version 0x0400 of 80 bytes", 0x0400, 80, 80, 80},
      {"size field below the stored length", 0x0400, 60, 80, 60},
      {"longer than a block", 0x0500, 120, 120, 104},
      {"current block", 0x0500, 104, 104, 104},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto stored = Block(c.version, c.size_field, c.stored);
    SetData("PrinterDataSize", RegValue::Dword(static_cast<std::uint32_t>(c.stored)));
    SetData("PrinterData", RegValue::Binary(stored));

    auto printer = Open();
    EXPECT_TRUE(UpgradePrinterData(printer.get()));

    auto data = Data("PrinterData");
    ASSERT_TRUE(data);
    ASSERT_EQ(data->data.size(), 104u);
    EXPECT_EQ(data->data[0] | data->data[1] << 8, 0x0500);
    EXPECT_EQ(data->data[2] | data->data[3] << 8, 104);
    for (std::size_t i = 4; i < 104; ++i) {
      EXPECT_EQ(data->data[i], i < c.kept ? stored[i] : 0) << "byte " << i;
    }
    EXPECT_EQ(Data("PrinterDataSize")->AsDword(), 104u);
    PrinterData block;
    std::memcpy(&block, data->data.data(), sizeof block);
    EXPECT_EQ(Data("FreeMem")->AsDword(), block.memory / 1024);
    EXPECT_EQ(Data("PrinterHT")->data.size(), 4u);
  }
}

TEST_F(EventMachine, WithoutAStoredBlockTheDefaultIsWritten) {
  SetData("FreeMem", RegValue::Dword(50));
  auto printer = Open();
  EXPECT_TRUE(UpgradePrinterData(printer.get()));
  auto data = Data("PrinterData");
  ASSERT_TRUE(data);
  PrinterData block;
  ASSERT_EQ(data->data.size(), sizeof block);
  std::memcpy(&block, data->data.data(), sizeof block);
  EXPECT_EQ(block.version, kPrinterDataVersion);
  EXPECT_EQ(block.memory, kMinPrinterMemory);
  EXPECT_EQ(Data("FreeMem")->AsDword(), 100u);
}

TEST_F(EventMachine, InitialiseEventUpgradesTheNamedPrinter) {
  SetKeyValue("Print TimeOut", RegValue::Dword(150));
  EXPECT_EQ(PrinterEvent(kPrinter16, PRINTER_EVENT_INITIALIZE, 0, 0), 1);
  EXPECT_EQ(Data("Print TimeOut")->AsDword(), 150u);
  EXPECT_EQ(Data("PrinterDataSize")->AsDword(), 104u);
  EXPECT_TRUE(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll"));
}

TEST_F(EventMachine, InitialiseWithoutAdministrationOrPrinterStillAnswersTrue) {
  EXPECT_EQ(PrinterEvent(u"no such printer", PRINTER_EVENT_INITIALIZE, 0, 0), 1);
  EXPECT_EQ(PrinterEvent(nullptr, PRINTER_EVENT_INITIALIZE, 0, 0), 1);
  setenv("KLM71_ADMIN", "0", 1);
  EXPECT_EQ(PrinterEvent(kPrinter16, PRINTER_EVENT_INITIALIZE, 0, 0), 1);
  EXPECT_FALSE(Data("PrinterData"));
  EXPECT_FALSE(platform::RegKeyExists(Hive::LocalMachine, kKey));
}

TEST_F(EventMachine, OtherEventsDoNothing) {
  SetKeyValue("Status TimeOut", RegValue::Dword(9));
  for (int event : {1, 2, 4, 6, 7, -1}) EXPECT_EQ(PrinterEvent(kPrinter16, event, 0, 0), 1) << event;
  EXPECT_FALSE(Data("Status TimeOut"));
  EXPECT_FALSE(Data("PrinterData"));
}

TEST_F(EventMachine, CacheRefreshCopiesAsTheSpoolerAndGivesTheIdentityBack) {
  InstallSpooler("spoolss.so");
  SetKeyValue("MonitorDisplay", RegValue::Dword(2));
  // Held across the event, so the test sees the same library state.
  auto spooler = platform::LoadModule(platform::SystemDirectory() / "spoolss.dll");
  ASSERT_TRUE(spooler);
  auto is_self = reinterpret_cast<int (*)()>(platform::GetSymbol(*spooler, "KlmSpoolerIsSelf"));
  ASSERT_NE(is_self, nullptr);

  EXPECT_EQ(PrinterEvent(kPrinter16, PRINTER_EVENT_CACHE_REFRESH, 0, 0), 1);
  EXPECT_EQ(is_self(), 0);
  EXPECT_EQ(Data("MonitorDisplay")->AsDword(), 2u);
  EXPECT_TRUE(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll"));
  // The refresh copies values only; the block is left to the upgrade.
  EXPECT_FALSE(Data("PrinterData"));
  (void)platform::FreeModule(*spooler);
}

TEST_F(EventMachine, CacheRefreshWithoutAdministrationStillNamesTheInformationLibrary) {
  InstallSpooler("spoolss.so");
  SetKeyValue("MonitorDisplay", RegValue::Dword(2));
  setenv("KLM71_ADMIN", "0", 1);
  EXPECT_EQ(PrinterEvent(kPrinter16, PRINTER_EVENT_CACHE_REFRESH, 0, 0), 1);
  setenv("KLM71_ADMIN", "1", 1);
  EXPECT_FALSE(Data("MonitorDisplay")) << "storing printer data needs administration";
  EXPECT_TRUE(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll"));
}

TEST_F(EventMachine, CacheRefreshWithoutTheImpersonationEntryAnswersFalseAndChangesNothing) {
  SetKeyValue("MonitorDisplay", RegValue::Dword(2));
  EXPECT_EQ(PrinterEvent(kPrinter16, PRINTER_EVENT_CACHE_REFRESH, 0, 0), 0) << "no spooler library";
  InstallSpooler("spoolss_partial.so");
  EXPECT_EQ(PrinterEvent(kPrinter16, PRINTER_EVENT_CACHE_REFRESH, 0, 0), 0);
  EXPECT_FALSE(Data("MonitorDisplay"));
  EXPECT_FALSE(platform::RegQueryValue(Hive::LocalMachine, kKey, "Info Dll"));
}

TEST_F(EventMachine, UpgradeTakesLevelOneOnly) {
  DriverUpgradeInfo1 info{kPrinter16, u"/old"};
  struct Case {
    const char* what;
    std::uint32_t level;
    const void* info;
  } refused[] = {
      {"level 2", 2, &info},
      {"level 0", 0, &info},
      {"no info", 1, nullptr},
  };
  for (const auto& c : refused) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(UpgradePrinter(c.level, c.info), 0) << c.what;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.what;
  }
  DriverUpgradeInfo1 unknown{u"no such printer", nullptr};
  EXPECT_EQ(UpgradePrinter(1, &unknown), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DriverUpgradeInfo1 nameless{nullptr, nullptr};
  EXPECT_EQ(UpgradePrinter(1, &nameless), 0);
  EXPECT_FALSE(Data("PrinterData"));

  setenv("KLM71_ADMIN", "0", 1);
  EXPECT_EQ(UpgradePrinter(1, &info), 0) << "full access needs an administrator";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  setenv("KLM71_ADMIN", "1", 1);

  EXPECT_EQ(UpgradePrinter(1, &info), 1);
  EXPECT_EQ(Data("PrinterDataSize")->AsDword(), 104u);
}

}  // namespace
}  // namespace klm::driver
