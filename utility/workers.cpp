#include "utility/workers.h"

#include <charconv>

#include "platform/ports.h"
#include "utility/printer_commands.h"
#include "utility/printer_requests.h"
#include "utility/serial_link.h"
#include "utility/utility_settings.h"

namespace klm::utility {

namespace {

// A failure raised inside a worker: the message id and the worker's own error.
struct Failed {
  std::uint32_t id;
  Error error;
};

// What a worker body returns: nothing on success, the failure otherwise.
using Step = std::optional<Failed>;

Failed Fail(std::uint32_t id, const Error& error) { return Failed{id, error}; }

Step CheckModel(const Reply& status, const UtilityState& state) {
  if (ModelCheck(status, state.model_codes)) return std::nullopt;
  return Fail(failure::kWrongModel, MakeError(kWrongModelError, "the status reply has other model codes"));
}

// Reports on behalf of a worker; silent once a stop was requested, because
// the dialog that would receive the reports may be gone.
class Reporter {
 public:
  Reporter(const ReportSink& sink, std::stop_token stop) : sink_(sink), stop_(std::move(stop)) {}
  void Progress(std::uint32_t percent) const { Send({WorkerReport::Kind::Progress, percent, 0, {}}); }
  void Send(const WorkerReport& r) const {
    if (sink_ && !stop_.stop_requested()) sink_(r);
  }
  bool stopped() const { return stop_.stop_requested(); }
  const std::stop_token& token() const { return stop_; }

 private:
  const ReportSink& sink_;
  std::stop_token stop_;
};

const Error kCancelled{ERROR_GEN_FAILURE, "stopped on request"};

// Decimal value of the leading digits, as the dialogs' texts are read.
std::uint32_t DecimalValue(std::string_view text) {
  std::uint32_t v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// The first steps of every serial worker: open, line set-up at `rate_text`,
// request time-outs.
Step SerialPrologue(const UtilityState& state, std::string_view rate_text, const LinkServices& services,
                    const Reporter& report, std::optional<ScopedSerialPort>& port) {
  auto opened = OpenSerialPort(state.port_name, state.port_kind, services);
  if (!opened) return Fail(failure::kOpen, opened.error());
  port.emplace(std::move(*opened));
  report.Progress(10);
  (void)(*port)->ModemStatus();
  (void)(*port)->Purge();
  if (auto settings = (*port)->GetSettings(); !settings) return Fail(failure::kSettingsUnreadable, settings.error());
  report.Progress(20);
  int step = 0;
  if (Status s = ConfigureLine(**port, rate_text, &step); !s)
    return Fail(step == 0 ? failure::kSettingsUnreadable : step == 1 ? failure::kModeRefused : failure::kSettingsNotApplied,
                s.error());
  // A port whose time-outs cannot be read is reported like one whose settings
  // cannot: ending silently would leave the dialog waiting forever.
  if (Status s = SetRequestTimeouts(**port); !s) return Fail(failure::kSettingsUnreadable, s.error());
  return std::nullopt;
}

Step BaudRateWorker(const UtilityState& state, WorkerOutcome& out, const LinkServices& services,
                    const Reporter& report) {
  Clock& clock = *services.clock;
  const std::uint32_t new_rate = DecimalValue(state.selected_baud_text);
  std::optional<ScopedSerialPort> port;
  if (Step f = SerialPrologue(state, state.selected_baud_text, services, report, port)) return f;

  // Find the rate the printer listens at: the current one, else the list.
  std::optional<std::uint32_t> working_rate;
  std::optional<Reply> status;
  Error last_error{ERROR_TIMEOUT, "the printer answered at no rate"};
  if (auto s = SerialStatusRequest(**port, state.current_baud_rate, clock)) {
    working_rate = state.current_baud_rate;
    status = *s;
  } else {
    last_error = s.error();
    if (!clock.Sleep(5000, report.token())) return Fail(0, kCancelled);
    const std::string current_text = std::to_string(state.current_baud_rate);
    for (const std::string& entry : state.baud_list) {
      if (entry == "0") break;
      if (entry == current_text) continue;
      std::uint32_t rate = DecimalValue(entry);
      if (auto t = SerialStatusRequest(**port, rate, clock)) {
        working_rate = rate;
        status = *t;
        break;
      } else {
        last_error = t.error();
      }
      if (!clock.Sleep(5000, report.token())) return Fail(0, kCancelled);
    }
  }
  report.Progress(30);
  if (!working_rate) return Fail(failure::kNoWorkingRate, last_error);
  if (Step f = CheckModel(*status, state)) return f;

  (void)(*port)->Purge();
  (void)TimedWrite(**port, kSwitchCommandMode, kCommandWriteLimitMs, clock);
  if (Status w = TimedWrite(**port, SetBaudRateCommand(new_rate), kCommandWriteLimitMs, clock); !w)
    return Fail(failure::kBaudNotWritten, w.error());
  report.Progress(50);
  if (!clock.Sleep(3000, report.token())) return Fail(0, kCancelled);

  // The printer confirms at the rate it was asked at, then changes.
  Reply confirm{};
  if (Status r = SerialSynchronisedRead(**port, confirm, ReplyBudgetMs(*working_rate), clock); !r)
    return Fail(failure::kNoReplyAfterBaud, r.error());
  report.Progress(70);
  if (auto s = SerialStatusRequest(**port, new_rate, clock); !s) return Fail(failure::kNoReplyAtNewRate, s.error());
  report.Progress(100);
  if (Status w = WriteStoredBaudRate(state.driver_name, new_rate); !w) return Fail(failure::kBaudNotStored, w.error());
  out.baud_rate = new_rate;
  (void)clock.Sleep(500, report.token());
  port->Close();

  if (state.port_kind != PortKind::Com) return std::nullopt;
  // A COM port's default configuration follows the printer's new rate.
  std::string config_port = DefaultConfigPortName(state.port_name);
  auto config = platform::GetDefaultCommConfig(config_port);
  if (!config) return Fail(failure::kBaudNotStored, config.error());
  config->baud_rate = new_rate;
  config->parity = 'n';
  config->data_bits = 8;
  config->stop_bits = 1;
  config->handshake = 'p';
  if (Status s = platform::SetDefaultCommConfig(config_port, *config); !s) return Fail(failure::kBaudNotStored, s.error());
  return std::nullopt;
}

// Failure ids of the two setting commands.
struct SettingIds {
  Setting setting;
  std::uint32_t not_written, not_read, differs;
};
constexpr SettingIds kCommandSystemIds{Setting::CommandSystem, failure::kCommandSystemNotWritten,
                                       failure::kCommandSystemNotRead, failure::kCommandSystemDiffers};
constexpr SettingIds kPowerOnIds{Setting::PowerOn, failure::kPowerOnNotWritten, failure::kPowerOnNotRead,
                                 failure::kPowerOnDiffers};

void Store(WorkerOutcome& out, Setting setting, std::uint32_t value) {
  (setting == Setting::CommandSystem ? out.command_system : out.power_on) = value;
}

// The printer must read back the value it was sent; the dialog then shows
// the finished bar for a moment before it closes.
Step ConfirmSetting(const SettingIds& ids, std::uint8_t desired, const Result<std::uint8_t>& value, WorkerOutcome& out,
                    Clock& clock, const Reporter& report) {
  if (!value) return Fail(ids.not_read, value.error());
  if (*value != desired)
    return Fail(ids.differs, MakeError(ERROR_INVALID_DATA, "the printer keeps " + std::to_string(*value) +
                                                               " instead of " + std::to_string(desired)));
  Store(out, ids.setting, *value);
  report.Progress(70);
  (void)clock.Sleep(500, report.token());
  report.Progress(100);
  return std::nullopt;
}

Step SerialSettingWorker(const UtilityState& state, const SettingIds& ids, std::uint8_t desired, WorkerOutcome& out,
                         const LinkServices& services, const Reporter& report) {
  Clock& clock = *services.clock;
  const std::uint32_t budget = ReplyBudgetMs(state.current_baud_rate);
  std::optional<ScopedSerialPort> port;
  if (Step f = SerialPrologue(state, std::to_string(state.current_baud_rate), services, report, port)) return f;
  auto status = SerialStatusRequest(**port, state.current_baud_rate, clock);
  if (!status) return Fail(failure::kStatusFailed, status.error());
  report.Progress(30);
  if (Step f = CheckModel(*status, state)) return f;
  (void)(*port)->Purge();
  (void)TimedWrite(**port, kSwitchCommandMode, kCommandWriteLimitMs, clock);
  if (Status w = TimedWrite(**port, SetCommand(ids.setting, desired), kCommandWriteLimitMs, clock); !w)
    return Fail(ids.not_written, w.error());
  report.Progress(50);
  return ConfirmSetting(ids, desired, SerialSettingQuery(**port, ids.setting, budget, clock), out, clock, report);
}

Step UsbSettingWorker(const UtilityState& state, const SettingIds& ids, std::uint8_t desired, WorkerOutcome& out,
                      const LinkServices& services, const Reporter& report) {
  Clock& clock = *services.clock;
  UsbPortIo& usb = *services.usb;
  auto status = UsbStatusRequest(usb, state.port_name, kCommandWriteLimitMs, clock);
  if (!status) return Fail(failure::kStatusFailed, status.error());
  report.Progress(30);
  if (Step f = CheckModel(*status, state)) return f;
  (void)usb.Write(state.port_name, kSwitchCommandMode, kCommandWriteLimitMs);
  if (auto w = usb.Write(state.port_name, SetCommand(ids.setting, desired), kCommandWriteLimitMs); !w)
    return Fail(ids.not_written, w.error());
  report.Progress(50);
  return ConfirmSetting(ids, desired,
                        UsbSettingQuery(usb, state.port_name, state.model_codes, ids.setting, kCommandWriteLimitMs, clock),
                        out, clock, report);
}

Step SerialInitialiseWorker(const UtilityState& state, WorkerOutcome& out, const LinkServices& services,
                            const Reporter& report) {
  Clock& clock = *services.clock;
  const std::uint32_t budget = ReplyBudgetMs(state.current_baud_rate, kInitialiseReplyBudgetMs);
  std::optional<ScopedSerialPort> port;
  if (Step f = SerialPrologue(state, std::to_string(state.current_baud_rate), services, report, port)) return f;
  auto status = SerialStatusRequest(**port, state.current_baud_rate, clock);
  if (!status) return Fail(failure::kStatusFailed, status.error());
  report.Progress(25);
  if (Step f = CheckModel(*status, state)) return f;
  (void)(*port)->Purge();
  (void)TimedWrite(**port, kSwitchCommandMode, kCommandWriteLimitMs, clock);
  if (Status w = TimedWrite(**port, SetCommand(Setting::PowerOn, 0), kCommandWriteLimitMs, clock); !w)
    return Fail(failure::kPowerOnNotWritten, w.error());
  report.Progress(30);
  if (Status w = TimedWrite(**port, SetCommand(Setting::CommandSystem, 0), kCommandWriteLimitMs, clock); !w)
    return Fail(failure::kCommandSystemNotWritten, w.error());
  for (std::uint32_t p : {40u, 50u, 60u, 70u}) report.Progress(p);
  auto power_on = SerialSettingQuery(**port, Setting::PowerOn, budget, clock);
  if (!power_on) return Fail(failure::kPowerOnNotRead, power_on.error());
  out.power_on = *power_on;
  report.Progress(80);
  auto command_system = SerialSettingQuery(**port, Setting::CommandSystem, budget, clock);
  if (!command_system) return Fail(failure::kCommandSystemNotRead, command_system.error());
  out.command_system = *command_system;
  report.Progress(90);
  (void)clock.Sleep(500, report.token());
  report.Progress(100);
  return std::nullopt;
}

Step UsbInitialiseWorker(const UtilityState& state, WorkerOutcome& out, const LinkServices& services,
                         const Reporter& report) {
  Clock& clock = *services.clock;
  UsbPortIo& usb = *services.usb;
  auto status = UsbStatusRequest(usb, state.port_name, kCommandWriteLimitMs, clock);
  if (!status) return Fail(failure::kStatusFailed, status.error());
  report.Progress(10);
  if (Step f = CheckModel(*status, state)) return f;
  report.Progress(20);
  (void)usb.Write(state.port_name, kSwitchCommandMode, kCommandWriteLimitMs);
  if (auto w = usb.Write(state.port_name, SetCommand(Setting::PowerOn, 0), kCommandWriteLimitMs); !w)
    return Fail(failure::kPowerOnNotWritten, w.error());
  report.Progress(30);
  if (auto w = usb.Write(state.port_name, SetCommand(Setting::CommandSystem, 0), kCommandWriteLimitMs); !w)
    return Fail(failure::kCommandSystemNotWritten, w.error());
  report.Progress(40);
  auto power_on = UsbSettingQuery(usb, state.port_name, state.model_codes, Setting::PowerOn, kCommandWriteLimitMs, clock);
  if (!power_on) return Fail(failure::kPowerOnNotRead, power_on.error());
  out.power_on = *power_on;
  report.Progress(80);
  auto command_system =
      UsbSettingQuery(usb, state.port_name, state.model_codes, Setting::CommandSystem, kCommandWriteLimitMs, clock);
  if (!command_system) return Fail(failure::kCommandSystemNotRead, command_system.error());
  out.command_system = *command_system;
  report.Progress(90);
  report.Progress(100);
  return std::nullopt;
}

bool IsSerial(PortKind kind) { return kind == PortKind::QmCom || kind == PortKind::Com; }

}  // namespace

bool HasWorker(WorkerCommand command, PortKind kind) {
  return command == WorkerCommand::BaudRate || kind != PortKind::Other;
}

WorkerOutcome RunWorker(WorkerCommand command, const UtilityState& state, const ReportSink& sink,
                        const LinkServices& services, std::stop_token stop) {
  Reporter report(sink, stop);
  WorkerOutcome out;
  Step failed;
  const bool serial = command == WorkerCommand::BaudRate || IsSerial(state.port_kind);
  switch (command) {
    case WorkerCommand::BaudRate:
      failed = BaudRateWorker(state, out, services, report);
      break;
    case WorkerCommand::CommandSystem:
      failed = serial ? SerialSettingWorker(state, kCommandSystemIds, state.desired_command_system, out, services, report)
                      : UsbSettingWorker(state, kCommandSystemIds, state.desired_command_system, out, services, report);
      break;
    case WorkerCommand::PowerOn:
      failed = serial ? SerialSettingWorker(state, kPowerOnIds, state.desired_power_on, out, services, report)
                      : UsbSettingWorker(state, kPowerOnIds, state.desired_power_on, out, services, report);
      break;
    case WorkerCommand::Initialise:
      failed = serial ? SerialInitialiseWorker(state, out, services, report)
                      : UsbInitialiseWorker(state, out, services, report);
      break;
  }
  // The port is closed by now (the worker's locals are gone).
  if (report.stopped()) {
    out.cancelled = true;
    out.succeeded = false;
    return out;
  }
  if (failed) {
    out.failure_id = failed->id;
    out.error_code = failed->error.code;
    report.Send({WorkerReport::Kind::Failure, failed->id, failed->error.code, failed->error.message});
    return out;
  }
  out.succeeded = true;
  report.Send({WorkerReport::Kind::Success, 0, 0, {}});
  return out;
}

void ApplyOutcome(WorkerCommand command, const WorkerOutcome& outcome, UtilityState& state) {
  if (outcome.baud_rate) state.current_baud_rate = *outcome.baud_rate;
  if (outcome.command_system) state.current_command_system = *outcome.command_system;
  if (outcome.power_on) state.current_power_on = *outcome.power_on;
  if (outcome.succeeded) return;
  switch (command) {
    case WorkerCommand::BaudRate: break;
    case WorkerCommand::CommandSystem: state.current_command_system = kUnknownCommandSystem; break;
    case WorkerCommand::PowerOn:
    case WorkerCommand::Initialise: state.current_power_on = kUnknownPowerOn; break;
  }
}

WorkerOutcome NoWorkerOutcome() {
  WorkerOutcome out;
  out.failure_id = failure::kStatusFailed;
  out.error_code = ERROR_NOT_SUPPORTED;
  return out;
}

CommandSession::CommandSession(WorkerCommand, const UtilityState& state)
    : port_switch_(state.printer_name, state.port_name, state.port_kind) {}

Result<std::unique_ptr<CommandSession>> CommandSession::Start(WorkerCommand command, const UtilityState& state,
                                                              ReportSink report, LinkServices services) {
  if (!HasWorker(command, state.port_kind))
    return MakeError(ERROR_NOT_SUPPORTED, "port " + state.port_name + " takes no printer commands");
  std::unique_ptr<CommandSession> session(new CommandSession(command, state));
  // The worker owns copies of everything it uses.
  session->thread_ = std::jthread([s = session.get(), command, state, report = std::move(report),
                                   services = std::move(services)](std::stop_token stop) {
    s->result_ = RunWorker(command, state, report, services, stop);
  });
  return session;
}

WorkerOutcome CommandSession::Finish() {
  if (!outcome_) {
    if (thread_.joinable()) thread_.join();
    outcome_ = result_;
    (void)port_switch_.Restore();
  }
  return *outcome_;
}

CommandSession::~CommandSession() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace klm::utility
