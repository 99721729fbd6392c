#include "utility/workers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/ports.h"
#include "utility/serial_channel.h"
#include "utility/testing/sim_fixture.h"
#include "utility/utility_settings.h"

namespace klm::utility {
namespace {

using printer_sim::CommandKind;
using printer_sim::EngineOptions;
using Bytes = std::vector<std::uint8_t>;
using Kind = WorkerReport::Kind;

// Collects the reports a dialog would receive.
struct Reports {
  std::mutex m;
  std::vector<WorkerReport> list;
  ReportSink Sink() {
    return [this](const WorkerReport& r) {
      std::lock_guard lock(m);
      list.push_back(r);
    };
  }
  std::vector<std::uint32_t> Progress() {
    std::vector<std::uint32_t> out;
    for (const auto& r : list)
      if (r.kind == Kind::Progress) out.push_back(r.value);
    return out;
  }
};

class Workers : public testing::SimFixture {
 protected:
  // The serial bytes the printer took, in order, without the status requests.
  std::vector<Bytes> SettingTraffic() {
    std::vector<Bytes> out;
    for (const auto& c : sim_->Commands())
      if (c.kind && *c.kind != CommandKind::StatusRequest) out.push_back(c.bytes);
    return out;
  }
};

const Bytes kMode{0x1B, 0x69, 0x61, 0x01};

TEST_F(Workers, CommandSystem3IsSentAndCheckedByByte30) {
  StartSim();
  UtilityState state = State("QMCOM1:");
  state.desired_command_system = 3;
  Reports reports;
  WorkerOutcome out = RunWorker(WorkerCommand::CommandSystem, state, reports.Sink(), Services());
  ASSERT_TRUE(out.succeeded) << out.failure_id << " " << reports.list.back().detail;
  EXPECT_EQ(SettingTraffic(), (std::vector<Bytes>{kMode, kMode, {0x1B, 0x69, 0x55, 0x61, 0x00, 0x03},
                                                   {0x1B, 0x69, 0x55, 0x61, 0x01}}));
  EXPECT_EQ(sim_->Settings().command_system, 3);
  EXPECT_EQ(reports.Progress(), (std::vector<std::uint32_t>{10, 20, 30, 50, 70, 100}));
  EXPECT_EQ(reports.list.back().kind, Kind::Success);
  EXPECT_EQ(clock_.waits(), std::vector<std::uint32_t>{500});
  ApplyOutcome(WorkerCommand::CommandSystem, out, state);
  EXPECT_EQ(state.current_command_system, 3u);
}

TEST_F(Workers, SettingWorkersOnEveryPortKindStoreWhatThePrinterKeeps) {
  struct Case {
    WorkerCommand command;
    const char* port;
  } cases[] = {
      {WorkerCommand::CommandSystem, "COM1:"}, {WorkerCommand::CommandSystem, "USB001"},
      {WorkerCommand::PowerOn, "QMCOM1:"},     {WorkerCommand::PowerOn, "USB001"},
      {WorkerCommand::Initialise, "COM1:"},    {WorkerCommand::Initialise, "USB001"},
  };
  AddPrinter("COM1:");
  for (const auto& c : cases) {
    EngineOptions options;
    options.printer.command_system = 3;
    options.printer.power_on = 1;
    StartSim(options, "COM1:", "USB001");
    UtilityState state = State(c.port);
    state.desired_command_system = 1;
    state.desired_power_on = 0;
    Reports reports;
    WorkerOutcome out = RunWorker(c.command, state, reports.Sink(), Services());
    ASSERT_TRUE(out.succeeded) << c.port << ": " << reports.list.back().detail;
    ApplyOutcome(c.command, out, state);
    if (c.command != WorkerCommand::PowerOn) {
      EXPECT_EQ(state.current_command_system, c.command == WorkerCommand::Initialise ? 0u : 1u) << c.port;
    }
    if (c.command != WorkerCommand::CommandSystem) {
      EXPECT_EQ(state.current_power_on, 0u) << c.port;
    }
    EXPECT_EQ(reports.Progress().back(), 100u);
    if (c.command == WorkerCommand::Initialise && c.port == std::string("COM1:")) {
      EXPECT_EQ(SettingTraffic(), (std::vector<Bytes>{kMode, kMode, {0x1B, 0x69, 0x55, 0x70, 0x00, 0x00},
                                                       {0x1B, 0x69, 0x55, 0x61, 0x00, 0x00},
                                                       {0x1B, 0x69, 0x55, 0x70, 0x01}, {0x1B, 0x69, 0x55, 0x61, 0x01}}));
      EXPECT_EQ(reports.Progress(), (std::vector<std::uint32_t>{10, 20, 25, 30, 40, 50, 60, 70, 80, 90, 100}));
    }
    sim_.reset();
  }
}

// Wraps the real port so a test can make reading the time-outs fail.
class NoTimeoutsChannel final : public SerialChannel {
 public:
  explicit NoTimeoutsChannel(std::unique_ptr<SerialChannel> inner) : inner_(std::move(inner)) {}
  Result<LineSettings> GetSettings() override { return inner_->GetSettings(); }
  Status SetSettings(const LineSettings& s) override { return inner_->SetSettings(s); }
  Result<CommTimeouts> GetTimeouts() override { return MakeError(ERROR_INVALID_HANDLE, "time-outs unreadable"); }
  Status SetTimeouts(const CommTimeouts& t) override { return inner_->SetTimeouts(t); }
  Status Purge() override { return inner_->Purge(); }
  Status ClearErrors() override { return inner_->ClearErrors(); }
  Result<std::uint32_t> ModemStatus() override { return inner_->ModemStatus(); }
  Result<std::size_t> Read(std::span<std::uint8_t> b) override { return inner_->Read(b); }
  Result<std::size_t> Write(std::span<const std::uint8_t> b) override { return inner_->Write(b); }
 private:
  std::unique_ptr<SerialChannel> inner_;
};

TEST_F(Workers, FailuresCarryTheirIdAndTheWorkersOwnErrorAfterThePortIsClosed) {
  struct Case {
    const char* name;
    WorkerCommand command;
    printer_sim::Misbehaviour mb;
    std::uint32_t current_rate = 9600;
    std::uint8_t desired = 1;
    bool map_port = true;
    bool break_timeouts = false;
    std::uint32_t failure_id;
  } cases[] = {
      {"port not mapped", WorkerCommand::CommandSystem, {}, 9600, 1, false, false, failure::kOpen},
      {"time-outs unreadable", WorkerCommand::PowerOn, {}, 9600, 1, true, true, failure::kSettingsUnreadable},
      {"mode text refused", WorkerCommand::CommandSystem, {}, 0, 1, true, false, failure::kModeRefused},
      {"rate the line cannot take", WorkerCommand::Initialise, {}, 14400, 1, true, false, failure::kSettingsNotApplied},
      {"silent printer", WorkerCommand::Initialise, {.silent = true}, 9600, 1, true, false, failure::kStatusFailed},
      {"other model", WorkerCommand::CommandSystem, {.model_codes = 0x3939}, 9600, 1, true, false, failure::kWrongModel},
      {"value not kept", WorkerCommand::CommandSystem, {}, 9600, 2, true, false, failure::kCommandSystemDiffers},
      {"power-on not kept", WorkerCommand::PowerOn, {}, 9600, 7, true, false, failure::kPowerOnDiffers},
  };
  for (const auto& c : cases) {
    EngineOptions options;
    options.misbehaviour = c.mb;
    StartSim(options, c.map_port ? "COM1:" : "COM7:");
    UtilityState state = State("COM1:");
    state.current_baud_rate = c.current_rate;
    state.desired_command_system = c.desired;
    state.desired_power_on = c.desired;
    state.current_command_system = 1;
    state.current_power_on = 1;
    LinkServices services = Services();
    if (c.break_timeouts)
      services.open_serial = [](const std::string& path) -> Result<std::unique_ptr<SerialChannel>> {
        auto port = OpenTermiosChannel(path);
        if (!port) return port.error();
        return std::unique_ptr<SerialChannel>(std::make_unique<NoTimeoutsChannel>(std::move(*port)));
      };
    bool port_free_at_failure = false;
    Reports reports;
    ReportSink sink = [&](const WorkerReport& r) {
      // The dialog may show its message at once: the port must be closed by then.
      if (r.kind == Kind::Failure && c.map_port) port_free_at_failure = static_cast<bool>(OpenTermiosChannel(sim_->serial_path()));
      reports.Sink()(r);
    };
    WorkerOutcome out = RunWorker(c.command, state, sink, services);
    EXPECT_FALSE(out.succeeded) << c.name;
    EXPECT_EQ(out.failure_id, c.failure_id) << c.name;
    EXPECT_NE(out.error_code, 0u) << c.name;
    ASSERT_FALSE(reports.list.empty()) << c.name;
    const WorkerReport& last = reports.list.back();
    EXPECT_EQ(last.kind, Kind::Failure) << c.name;
    EXPECT_EQ(last.value, c.failure_id) << c.name;
    EXPECT_EQ(last.error_code, out.error_code) << c.name;
    if (c.map_port) {
      EXPECT_TRUE(port_free_at_failure) << c.name;
    }
    ApplyOutcome(c.command, out, state);
    if (c.command == WorkerCommand::CommandSystem) {
      EXPECT_EQ(state.current_command_system, kUnknownCommandSystem) << c.name;
    } else {
      EXPECT_EQ(state.current_power_on, kUnknownPowerOn) << c.name;
    }
    sim_.reset();
  }
}

TEST_F(Workers, BaudRateChangeOnAComPortAlsoChangesItsDefaultConfiguration) {
  struct Case {
    const char* port;
    bool default_config_follows;
  } cases[] = {{"COM1:", true}, {"QMCOM1:", false}};
  for (const auto& c : cases) {
    klm::testing::TempRoot root;  // each case on a fresh machine
    AddPrinter(c.port);
    StartSim();
    UtilityState state = State(c.port);
    state.selected_baud_text = "115200";
    state.baud_list = ParseBaudrateList("9600,19200,115200");
    std::string port_during_run;
    Reports reports;
    ReportSink sink = [&](const WorkerReport& r) {
      if (r.kind == Kind::Progress && r.value == 50) port_during_run = PrinterPort();
      reports.Sink()(r);
    };
    auto session = CommandSession::Start(WorkerCommand::BaudRate, state, sink, Services());
    ASSERT_TRUE(session);
    WorkerOutcome out = (*session)->Finish();
    ASSERT_TRUE(out.succeeded) << c.port << ": " << reports.list.back().detail;
    EXPECT_EQ(PrinterPort(), c.port);
    EXPECT_EQ(port_during_run, c.default_config_follows ? "FILE:" : c.port);

    // Switch command mode, then the new rate in hundreds at the old rate; the
    // last mode switch belongs to the status request at the new rate.
    std::vector<Bytes> traffic = SettingTraffic();
    ASSERT_EQ(traffic.size(), 4u);
    EXPECT_EQ(traffic[1], kMode);
    EXPECT_EQ(traffic[2], (Bytes{0x1B, 0x69, 0x42, 0x80, 0x04}));
    auto wire = sim_->Commands();
    EXPECT_EQ(wire.back().kind, CommandKind::StatusRequest);
    EXPECT_EQ(wire.back().line_rate, 115200u);
    EXPECT_EQ(sim_->Settings().baud_rate, 115200u);
    EXPECT_EQ(clock_.waits(), (std::vector<std::uint32_t>{3000, 500}));

    ApplyOutcome(WorkerCommand::BaudRate, out, state);
    EXPECT_EQ(state.current_baud_rate, 115200u);
    EXPECT_EQ(ReadStoredBaudRate(testing::kDriver), 115200u);
    auto config = platform::GetDefaultCommConfig("COM1");
    ASSERT_TRUE(config);
    EXPECT_EQ(config->baud_rate, c.default_config_follows ? 115200u : 9600u) << c.port;
    sim_.reset();
    clock_.ClearWaits();
  }
}

TEST_F(Workers, RateSearchSkipsTheCurrentRateAndWaitsBetweenTries) {
  EngineOptions options;
  options.printer.baud_rate = 19200;
  StartSim(options);
  UtilityState state = State("QMCOM1:");
  state.current_baud_rate = 9600;
  state.selected_baud_text = "38400";
  state.baud_list = ParseBaudrateList("9600,4800,19200,57600");
  Reports reports;
  WorkerOutcome out = RunWorker(WorkerCommand::BaudRate, state, reports.Sink(), Services());
  ASSERT_TRUE(out.succeeded) << reports.list.back().detail;
  std::vector<std::uint32_t> status_rates;
  for (const auto& c : sim_->Commands())
    if (!c.kind || *c.kind == CommandKind::StatusRequest) status_rates.push_back(c.line_rate);
  // 9600 once (not again from the list), 4800, then found at 19200; the last
  // request is at the new rate.
  std::vector<std::uint32_t> tried;
  for (std::uint32_t r : status_rates)
    if (tried.empty() || tried.back() != r) tried.push_back(r);
  EXPECT_EQ(tried, (std::vector<std::uint32_t>{9600, 4800, 19200, 38400}));
  EXPECT_EQ(clock_.waits(), (std::vector<std::uint32_t>{5000, 5000, 3000, 500}));
  EXPECT_EQ(sim_->Settings().baud_rate, 38400u);
  EXPECT_EQ(out.baud_rate, 38400u);
}

TEST_F(Workers, AnEmptyRateListWithASilentPrinterEndsIn2005AfterOneWait) {
  EngineOptions options;
  options.misbehaviour.silent = true;
  StartSim(options);
  UtilityState state = State("QMCOM1:");
  state.selected_baud_text = "19200";
  state.baud_list = {"0"};
  Reports reports;
  WorkerOutcome out = RunWorker(WorkerCommand::BaudRate, state, reports.Sink(), Services());
  EXPECT_EQ(out.failure_id, failure::kNoWorkingRate);
  EXPECT_EQ(clock_.waits(), std::vector<std::uint32_t>{5000});
  EXPECT_EQ(reports.Progress(), (std::vector<std::uint32_t>{10, 20, 30}));
  EXPECT_EQ(ReadStoredBaudRate(testing::kDriver), 9600u);
}

TEST_F(Workers, PortKind4StartsNoWorkerForTheSettingCommands) {
  AddPrinter("LPT1:");
  UtilityState state = State("LPT1:");
  for (WorkerCommand c : {WorkerCommand::CommandSystem, WorkerCommand::PowerOn, WorkerCommand::Initialise}) {
    bool reported = false;
    auto session = CommandSession::Start(c, state, [&](const WorkerReport&) { reported = true; }, Services());
    ASSERT_FALSE(session);
    EXPECT_EQ(session.error().code, ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(reported);
    UtilityState after = state;
    after.current_command_system = 1;
    after.current_power_on = 1;
    ApplyOutcome(c, NoWorkerOutcome(), after);
    EXPECT_EQ(NoWorkerOutcome().failure_id, failure::kStatusFailed);
    if (c == WorkerCommand::CommandSystem) {
      EXPECT_EQ(after.current_command_system, kUnknownCommandSystem);
    } else {
      EXPECT_EQ(after.current_power_on, kUnknownPowerOn);
    }
  }
  EXPECT_EQ(PrinterPort(), "LPT1:");
}

TEST_F(Workers, ADialogThatEndsEarlyStopsItsWorkerAndGetsThePortBack) {
  // A silent printer keeps the baud-rate worker searching; the dialog closes.
  EngineOptions options;
  options.misbehaviour.silent = true;
  StartSim(options);
  AddPrinter("COM1:");
  UtilityState state = State("COM1:");
  state.selected_baud_text = "19200";
  state.baud_list = ParseBaudrateList("1200,2400,4800,19200,38400");
  LinkServices services = DefaultLinkServices();  // real waits, cut short by the stop
  std::mutex m;
  std::vector<WorkerReport> reports;
  bool searching = false;
  std::condition_variable cv;
  auto session = CommandSession::Start(
      WorkerCommand::BaudRate, state,
      [&](const WorkerReport& r) {
        std::lock_guard lock(m);
        reports.push_back(r);
        if (r.kind == Kind::Progress && r.value == 20) searching = true;
        cv.notify_all();
      },
      services);
  ASSERT_TRUE(session);
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return searching; });
  }
  EXPECT_EQ(PrinterPort(), "FILE:");
  session->reset();
  EXPECT_EQ(PrinterPort(), "COM1:");
  for (const auto& r : reports) EXPECT_EQ(r.kind, Kind::Progress);
  EXPECT_TRUE(OpenTermiosChannel(sim_->serial_path()));  // the worker let go of the port
}

}  // namespace
}  // namespace klm::utility
