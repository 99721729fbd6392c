#include "driver-ui/port_kind.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/testing/temp_root.h"

namespace klm::driver {
namespace {

TEST(PortKind, PrefixesIgnoreCaseAndOtherNamesAreOther) {
  struct Case {
    const char* name;
    std::uint32_t kind;
  } cases[] = {
      {"USB001", PORT_KIND_USB},     {"usb002", PORT_KIND_USB},     {"QMUSB003", PORT_KIND_USB},
      {"qmusb001", PORT_KIND_USB},   {"QMLAN1", PORT_KIND_QMLAN},   {"COM1:", PORT_KIND_COM},
      {"com9", PORT_KIND_COM},       {"QMCOM2:", PORT_KIND_QMCOM},  {"LPT1:", PORT_KIND_LPT},
      {"KvSpl_1", PORT_KIND_KVSPL},  {"FILE:", PORT_KIND_OTHER},    {"", PORT_KIND_OTHER},
      {"US", PORT_KIND_OTHER},       {"QMUS", PORT_KIND_OTHER},     {"QMLA", PORT_KIND_OTHER},
      {"IP_10.0.0.5", PORT_KIND_OTHER}, {" COM1:", PORT_KIND_OTHER},
  };
  for (const auto& c : cases) EXPECT_EQ(PortKind(c.name), c.kind) << '"' << c.name << '"';
}

class PortMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KLM71_ADMIN", "1", 1);
    ASSERT_TRUE(platform::AddPrinterDriver(platform::DriverInfo{"Koravel LM-7100"}));
  }
  void TearDown() override { unsetenv("KLM71_ADMIN"); }
  platform::ScopedPrinter Add(const char* name, const char* port) {
    EXPECT_TRUE(platform::AddPrinter({name, "Koravel LM-7100", port}));
    auto opened = platform::OpenPrinter(name);
    EXPECT_TRUE(opened);
    return platform::ScopedPrinter(opened ? *opened : nullptr);
  }
  klm::testing::TempRoot root_;
};

TEST_F(PortMachine, IsNotUsbPortAsksThePrinter) {
  EXPECT_FALSE(IsNotUsbPort(Add("on usb", "USB001").get()));
  EXPECT_FALSE(IsNotUsbPort(Add("on qmusb", "qmusb004").get()));
  EXPECT_TRUE(IsNotUsbPort(Add("on com", "COM1:").get()));
  EXPECT_TRUE(IsNotUsbPort(Add("on file", "FILE:").get()));
  // A printer that cannot be asked is not said to be elsewhere.
  EXPECT_FALSE(IsNotUsbPort(nullptr));
}

TEST_F(PortMachine, StandardTcpIpPortIsOneKeyOfTheMonitor) {
  const std::string ports(kStandardTcpIpPortsKey);
  ASSERT_TRUE(platform::RegCreateKey(platform::Hive::LocalMachine, ports + "\\IP_10.0.0.5"));
  ASSERT_TRUE(platform::RegCreateKey(platform::Hive::LocalMachine, ports + "\\IP_10.0.0.5\\Sub"));
  EXPECT_TRUE(IsStandardTcpIpPort("IP_10.0.0.5"));
  EXPECT_TRUE(IsStandardTcpIpPort("ip_10.0.0.5"));
  EXPECT_FALSE(IsStandardTcpIpPort("IP_10.0.0.6"));
  EXPECT_FALSE(IsStandardTcpIpPort("COM1:"));
  // Neither the monitor's list itself nor a key below a port is a port.
  EXPECT_FALSE(IsStandardTcpIpPort(""));
  EXPECT_FALSE(IsStandardTcpIpPort("IP_10.0.0.5\\Sub"));
}

}  // namespace
}  // namespace klm::driver
