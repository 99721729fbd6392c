#include "utility/printer_requests.h"

#include <gtest/gtest.h>

#include "utility/serial_link.h"
#include "utility/testing/sim_fixture.h"

namespace klm::utility {
namespace {

using printer_sim::CommandKind;
using printer_sim::EngineOptions;

class Requests : public testing::SimFixture {
 protected:
  PrinterLink Link(const std::string& port) {
    return PrinterLink{port, ClassifyPort(port), testing::kLm7100Codes, 9600};
  }
};

TEST_F(Requests, SerialStatusRequestFindsTheReplyBehindNoiseAndAcrossPieces) {
  struct Case {
    const char* name;
    printer_sim::Misbehaviour mb;
  } cases[] = {
      {"plain", {}},
      {"two stray bytes", {.stray_bytes = 2}},
      {"sixty stray bytes", {.stray_bytes = 60}},
      {"in pieces of 5 bytes", {.chunk_size = 5, .chunk_gap_ms = 40}},
      {"late but within budget", {.reply_delay_ms = 200}},
  };
  StartSim();
  auto path = platform::PortDevice("COM1:");
  ASSERT_TRUE(path);
  auto port = OpenTermiosChannel(*path);
  ASSERT_TRUE(port);
  ASSERT_TRUE(SetRequestTimeouts(**port));
  for (const auto& c : cases) {
    sim_->SetMisbehaviour(c.mb);
    sim_->ClearCommands();
    auto reply = SerialStatusRequest(**port, 9600, clock_);
    ASSERT_TRUE(reply) << c.name << ": " << reply.error().message;
    EXPECT_EQ((*reply)[0], 0x80) << c.name;
    EXPECT_EQ((*reply)[1], 0x20) << c.name;
    EXPECT_EQ((*reply)[2], 0x42) << c.name;
    EXPECT_TRUE(ModelCheck(*reply, testing::kLm7100Codes)) << c.name;
    auto wire = sim_->Commands();
    ASSERT_EQ(wire.size(), 2u) << c.name;
    EXPECT_EQ(wire[0].kind, CommandKind::SwitchCommandMode);
    EXPECT_EQ(wire[1].kind, CommandKind::StatusRequest);
    EXPECT_EQ(wire[1].line_rate, 9600u);
  }
}

TEST_F(Requests, SynchronousQueryReadsByte30OnEveryPortKind) {
  EngineOptions options;
  options.printer.command_system = 3;
  options.printer.power_on = 0;
  StartSim(options, "COM2:", "USB001");
  for (const char* port : {"QMCOM2:", "qmcom2:", "USB001"}) {
    auto cs = SynchronousQuery(Link(port), Setting::CommandSystem, Services());
    ASSERT_TRUE(cs) << port << ": " << cs.error().message;
    EXPECT_EQ(*cs, 3) << port;
    auto po = SynchronousQuery(Link(port), Setting::PowerOn, Services());
    ASSERT_TRUE(po) << port;
    EXPECT_EQ(*po, 0) << port;
  }
  auto other = SynchronousQuery(Link("LPT1:"), Setting::CommandSystem, Services());
  ASSERT_FALSE(other);
  EXPECT_EQ(other.error().code, ERROR_NOT_SUPPORTED);
  // A USB port has no serial device, whatever the port map says.
  EXPECT_FALSE(OpenSerialPort("USB001", PortKind::Usb, Services()));
}

TEST_F(Requests, MisbehavingPrintersFailTheQuery) {
  struct Case {
    const char* name;
    printer_sim::Misbehaviour mb;
    std::uint32_t code;
  } cases[] = {
      {"silent", {.silent = true}, ERROR_TIMEOUT},
      {"other model codes", {.model_codes = '5' | ('2' << 8)}, kWrongModelError},
      {"later than every budget", {.reply_delay_ms = 1600}, ERROR_TIMEOUT},
  };
  for (const auto& c : cases) {
    EngineOptions options;
    options.misbehaviour = c.mb;
    StartSim(options, "COM1:", "USB001");
    for (const char* port : {"COM1:", "USB001"}) {
      auto v = SynchronousQuery(Link(port), Setting::CommandSystem, Services());
      ASSERT_FALSE(v) << c.name << " on " << port;
      EXPECT_EQ(v.error().code, c.code) << c.name << " on " << port << ": " << v.error().message;
    }
    sim_.reset();
  }
}

TEST_F(Requests, AHungUpPrinterFailsAndTheLinkStaysUsable) {
  EngineOptions options;
  options.misbehaviour.hang_up_after = 1;
  StartSim(options);
  EXPECT_FALSE(SynchronousQuery(Link("COM1:"), Setting::PowerOn, Services()));
  EXPECT_TRUE(sim_->hung_up());
  // A fresh simulator on the same port name answers again.
  sim_.reset();
  StartSim();
  EXPECT_TRUE(SynchronousQuery(Link("COM1:"), Setting::PowerOn, Services()));
}

TEST_F(Requests, ARateTheLineIsNotSetToGoesUnheard) {
  EngineOptions options;
  options.printer.baud_rate = 19200;
  StartSim(options);
  EXPECT_FALSE(SynchronousQuery(Link("COM1:"), Setting::PowerOn, Services()));
  auto wire = sim_->Commands();
  ASSERT_FALSE(wire.empty());
  EXPECT_FALSE(wire[0].kind.has_value());
  EXPECT_EQ(wire[0].line_rate, 9600u);
  PrinterLink at_19200 = Link("COM1:");
  at_19200.baud_rate = 19200;
  EXPECT_TRUE(SynchronousQuery(at_19200, Setting::PowerOn, Services()));
}

TEST_F(Requests, AShortUsbSettingReplyFailsInsteadOfReportingAStaleByte) {
  StartSim({}, "COM1:", "USB001");
  UsbPortIo& usb = DeviceNodePortIo();
  // The status reply is found across pieces; the setting reply is read as it
  // comes, so a reply cut short by a pause is refused.
  sim_->SetMisbehaviour({.chunk_size = 20, .chunk_gap_ms = 150});
  auto v = UsbSettingQuery(usb, "USB001", testing::kLm7100Codes, Setting::CommandSystem, 1500, clock_);
  ASSERT_FALSE(v);
  EXPECT_EQ(v.error().code, ERROR_INVALID_DATA) << v.error().message;
  auto wire = sim_->Commands();
  ASSERT_EQ(wire.size(), 3u);
  EXPECT_EQ(wire[0].kind, CommandKind::StatusRequest);  // no mode switch before a USB status request
  EXPECT_EQ(wire[1].kind, CommandKind::SwitchCommandMode);
  EXPECT_EQ(wire[2].bytes, (std::vector<std::uint8_t>{0x1B, 0x69, 0x55, 0x61, 0x01}));

  auto unmapped = UsbStatusRequest(usb, "USB009", 1500, clock_);
  ASSERT_FALSE(unmapped);
  EXPECT_EQ(unmapped.error().code, ERROR_UNKNOWN_PORT);
}

}  // namespace
}  // namespace klm::utility
