// How long each request takes to fail against a silent printer, beside its
// budget. A request may overrun its budget by at most one port read or write
// (100 ms on a serial port). Counters: budget_ms and overrun_ms (worst run).
#include <benchmark/benchmark.h>

#include <chrono>

#include "platform/ports.h"
#include "platform/testing/temp_root.h"
#include "tools/printer-sim/sim_engine.h"
#include "utility/printer_requests.h"
#include "utility/serial_link.h"

namespace {

namespace util = klm::utility;
constexpr std::uint16_t kCodes = '5' | ('1' << 8);

struct SilentPrinter {
  klm::testing::TempRoot root;
  std::unique_ptr<klm::printer_sim::SimEngine> sim;
  SilentPrinter() {
    klm::printer_sim::EngineOptions options;
    options.usb = true;
    options.misbehaviour.silent = true;
    sim = std::move(klm::printer_sim::SimEngine::Create(options).value());
    (void)klm::platform::MapPort("COM1:", sim->serial_path());
    (void)klm::platform::MapPort("USB001", sim->usb_path());
    sim->Start();
  }
};

template <typename Request>
void Measure(benchmark::State& state, std::uint32_t budget_ms, Request request) {
  double worst = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    bool ok = request();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (ok) state.SkipWithError("a silent printer answered");
    worst = std::max(worst, ms);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["budget_ms"] = budget_ms;
  state.counters["overrun_ms"] = worst - budget_ms;
}

void SerialStatusRequest(benchmark::State& state) {
  SilentPrinter printer;
  auto port = util::OpenTermiosChannel(*klm::platform::PortDevice("COM1:"));
  (void)util::SetRequestTimeouts(**port);
  auto rate = static_cast<std::uint32_t>(state.range(0));
  Measure(state, util::ReplyBudgetMs(rate),
          [&] { return util::SerialStatusRequest(**port, rate, util::SystemClock()).ok(); });
}
BENCHMARK(SerialStatusRequest)->Arg(9600)->Arg(300)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void SerialSettingQuery(benchmark::State& state) {
  SilentPrinter printer;
  auto port = util::OpenTermiosChannel(*klm::platform::PortDevice("COM1:"));
  (void)util::ConfigureLine(**port, "9600");
  (void)util::SetRequestTimeouts(**port);
  Measure(state, 500, [&] {
    return util::SerialSettingQuery(**port, util::Setting::CommandSystem, 500, util::SystemClock()).ok();
  });
}
BENCHMARK(SerialSettingQuery)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void UsbStatusRequest(benchmark::State& state) {
  SilentPrinter printer;
  Measure(state, 1500, [&] {
    return util::UsbStatusRequest(util::DeviceNodePortIo(), "USB001", 1500, util::SystemClock()).ok();
  });
}
BENCHMARK(UsbStatusRequest)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The main dialog's whole query: its budget is the status request's, since a
// silent printer fails there (the later steps never run).
void SynchronousQuerySerial(benchmark::State& state) {
  SilentPrinter printer;
  util::PrinterLink link{"COM1:", util::PortKind::Com, kCodes, 9600};
  Measure(state, util::ReplyBudgetMs(9600),
          [&] { return util::SynchronousQuery(link, util::Setting::PowerOn, util::DefaultLinkServices()).ok(); });
}
BENCHMARK(SynchronousQuerySerial)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void SynchronousQueryUsb(benchmark::State& state) {
  SilentPrinter printer;
  util::PrinterLink link{"USB001", util::PortKind::Usb, kCodes, 9600};
  Measure(state, 1500,
          [&] { return util::SynchronousQuery(link, util::Setting::PowerOn, util::DefaultLinkServices()).ok(); });
}
BENCHMARK(SynchronousQueryUsb)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
