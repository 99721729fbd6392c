// A machine root with the LM-7100 simulator on its serial (and USB) line,
// the port map pointing at it, and link services with a clock that skips
// waits. For tests of the link layer and the workers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ports.h"
#include "platform/spooler.h"
#include "platform/testing/temp_root.h"
#include "tools/printer-sim/sim_engine.h"
#include "utility/link_services.h"
#include "utility/testing/skipping_clock.h"
#include "utility/workers.h"

namespace klm::utility::testing {

inline constexpr std::uint16_t kLm7100Codes = '5' | ('1' << 8);
inline constexpr const char* kDriver = "Koravel LM-7100";
inline constexpr const char* kPrinter = "LM-7100";

class SimFixture : public ::testing::Test {
 protected:
  // Starts the simulator and maps `serial_device` (COM1 for "COM1:" and
  // "QMCOM1:") and, when given, `usb_port` to it.
  void StartSim(printer_sim::EngineOptions options = {}, const std::string& serial_device = "COM1:",
                const std::string& usb_port = "") {
    options.usb = !usb_port.empty();
    auto engine = printer_sim::SimEngine::Create(options);
    ASSERT_TRUE(engine) << engine.error().message;
    sim_ = std::move(*engine);
    ASSERT_TRUE(platform::MapPort(serial_device, sim_->serial_path()));
    if (!usb_port.empty()) {
      ASSERT_TRUE(platform::MapPort(usb_port, sim_->usb_path()));
    }
    sim_->Start();
  }

  // A printer on `port` using the LM-7100 driver, as the utility sees it.
  UtilityState State(const std::string& port) {
    UtilityState s;
    s.printer_name = kPrinter;
    s.driver_name = kDriver;
    s.port_name = port;
    s.port_kind = ClassifyPort(port);
    s.model_codes = kLm7100Codes;
    s.current_baud_rate = 9600;
    return s;
  }

  void AddPrinter(const std::string& port) {
    platform::DriverInfo driver;
    driver.name = kDriver;
    ASSERT_TRUE(platform::AddPrinterDriver(driver));
    ASSERT_TRUE(platform::AddPrinter({kPrinter, kDriver, port}));
  }

  std::string PrinterPort() {
    auto p = platform::OpenPrinter(kPrinter);
    if (!p) return "?";
    platform::ScopedPrinter printer(*p);
    auto info = platform::GetPrinter(printer.get());
    return info ? info->port : "?";
  }

  LinkServices Services() {
    LinkServices s = DefaultLinkServices();
    s.clock = &clock_;
    return s;
  }

  klm::testing::TempRoot root_;
  SkippingClock clock_;
  std::unique_ptr<printer_sim::SimEngine> sim_;
};

}  // namespace klm::utility::testing
