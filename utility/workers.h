// The command workers: baud rate, command system, power-on setting and the
// reset of both, each in a serial and a USB form. A worker runs on its own
// thread with its own copy of the utility's state; it reports progress,
// failure (with the string id of the message and its own error code) and
// success through a callback, and hands back what it learned. The dialog
// only displays the reports and, once the worker has ended, applies the
// outcome to the shared state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "platform/result.h"
#include "utility/link_services.h"
#include "utility/port_kind.h"
#include "utility/port_switch.h"

namespace klm::utility {

inline constexpr std::uint32_t kUnknownCommandSystem = 9;
inline constexpr std::uint32_t kUnknownPowerOn = 0xFFFF;

// The utility's process-wide state that the workers read and write.
struct UtilityState {
  std::string printer_name;
  std::string driver_name;
  std::string port_name;
  PortKind port_kind = PortKind::Other;
  std::uint16_t model_codes = 0xFFFF;
  std::uint32_t current_baud_rate = 9600;
  std::string selected_baud_text;              // the rate chosen in the list
  std::vector<std::string> baud_list{"0"};     // ends with "0"
  std::uint8_t desired_command_system = 0;     // 0, 1 or 3
  std::uint32_t current_command_system = kUnknownCommandSystem;
  std::uint8_t desired_power_on = 1;           // 0 or 1
  std::uint32_t current_power_on = kUnknownPowerOn;
};

enum class WorkerCommand : std::uint8_t { BaudRate, CommandSystem, PowerOn, Initialise };

// What a worker tells its dialog; the values of the progress message.
struct WorkerReport {
  enum class Kind : std::uint8_t { Progress = 10, Failure = 11, Success = 100 };
  Kind kind = Kind::Progress;
  std::uint32_t value = 0;       // percent for Progress, string id for Failure, 0 for Success
  std::uint32_t error_code = 0;  // Failure: the worker's own error, for the message's format
  std::string detail;            // Failure: what went wrong, for a person or a log
};
// Called on the worker's thread; the dialog forwards it to its own thread.
using ReportSink = std::function<void(const WorkerReport&)>;

// Failure ids (message strings of the utility's resources).
namespace failure {
inline constexpr std::uint32_t kPowerOnNotWritten = 1900, kPowerOnNotRead = 1901, kPowerOnDiffers = 1902;
inline constexpr std::uint32_t kOpen = 2000, kSettingsUnreadable = 2002, kModeRefused = 2003,
                               kSettingsNotApplied = 2004, kNoWorkingRate = 2005, kWrongModel = 2006,
                               kBaudNotWritten = 2007, kNoReplyAfterBaud = 2008, kNoReplyAtNewRate = 2009,
                               kBaudNotStored = 2010, kStatusFailed = 2011, kCommandSystemNotWritten = 2015,
                               kCommandSystemNotRead = 2016, kCommandSystemDiffers = 2017;
}  // namespace failure

struct WorkerOutcome {
  bool succeeded = false;
  bool cancelled = false;          // stopped on request; nothing was reported after the stop
  std::uint32_t failure_id = 0;
  std::uint32_t error_code = 0;
  // Values the worker stored, as the dialog must apply them.
  std::optional<std::uint32_t> baud_rate;
  std::optional<std::uint32_t> command_system;
  std::optional<std::uint32_t> power_on;
};

// Whether the command has a worker for the port kind (the three setting
// commands have none for kind 4: their dialog shows failure 2011 at once).
bool HasWorker(WorkerCommand command, PortKind kind);

// Runs the worker for the state's port kind on the calling thread. The last
// report is the Failure or Success one, sent after the port is closed.
WorkerOutcome RunWorker(WorkerCommand command, const UtilityState& state, const ReportSink& report,
                        const LinkServices& services, std::stop_token stop = {});

// Writes the values the worker learned into `state`, then the dialog's reset
// on failure (command system 9, power-on setting 0xFFFF as the command has it).
void ApplyOutcome(WorkerCommand command, const WorkerOutcome& outcome, UtilityState& state);

// One command dialog's run: switches a COM printer to "FILE:", runs the
// worker on a thread of its own, and gives the printer its port back exactly
// once, when Finish() is called or the session is destroyed. Destroying a
// session that has not finished asks the worker to stop and waits for it, so
// no worker outlives the dialog that owns its session.
class CommandSession {
 public:
  // ERROR_NOT_SUPPORTED when the port kind has no worker for the command; no
  // thread is started and the port is not switched (the dialog shows 2011 and
  // applies NoWorkerOutcome()).
  static Result<std::unique_ptr<CommandSession>> Start(WorkerCommand command, const UtilityState& state,
                                                       ReportSink report, LinkServices services);
  ~CommandSession();
  CommandSession(const CommandSession&) = delete;
  CommandSession& operator=(const CommandSession&) = delete;

  // Waits for the worker, restores the printer's port and returns the
  // outcome. Call it on the Failure or Success report; later calls return the
  // same outcome.
  WorkerOutcome Finish();

 private:
  CommandSession(WorkerCommand command, const UtilityState& state);
  ScopedFilePort port_switch_;
  std::optional<WorkerOutcome> outcome_;
  WorkerOutcome result_;
  std::jthread thread_;
};

// The outcome a dialog applies when its command has no worker.
WorkerOutcome NoWorkerOutcome();

}  // namespace klm::utility
