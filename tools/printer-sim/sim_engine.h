// The simulator's engine: a pseudo-terminal that plays the printer's serial
// line and, optionally, a second one that stands in for its USB node. A
// thread answers commands as the printer would. The line rate the utility
// applied to the serial side is read back from the master (on Linux, tcgetattr
// on a pty master returns the slave's termios), so commands sent at another
// rate than the printer's are ignored, as a real printer would see garbage.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/result.h"
#include "tools/printer-sim/printer_model.h"

namespace klm::printer_sim {

// Ways to misbehave, for tests and demonstrations. May change while running.
struct Misbehaviour {
  bool silent = false;                 // read everything, answer nothing
  std::optional<std::uint16_t> model_codes;  // answer these codes (series low byte, model high byte)
  std::size_t stray_bytes = 0;         // bytes of noise before every reply
  std::uint32_t reply_delay_ms = 0;    // answer this late
  std::size_t chunk_size = 0;          // send replies in pieces of this many bytes...
  std::uint32_t chunk_gap_ms = 30;     // ...with this gap between them
  int hang_up_after = -1;              // close the lines after this many commands (-1: never)
};

struct EngineOptions {
  PrinterSettings printer;
  Misbehaviour misbehaviour;
  bool usb = false;                    // also open the USB stand-in node
  std::filesystem::path formats_file;  // where registered formats are kept (empty: memory only)
};

enum class Transport : std::uint8_t { Serial, Usb };

// One command as it arrived, with the line rate the utility's side was set
// to; bytes sent at another rate than the printer's are logged untaken.
struct WireCommand {
  Transport transport;
  std::optional<CommandKind> kind;  // nothing for bytes the printer did not take
  std::vector<std::uint8_t> bytes;
  std::uint32_t line_rate;  // 0 for USB
};

class SimEngine {
 public:
  using LogSink = std::function<void(const std::string&)>;

  // Opens the pseudo-terminals; the thread starts with Start().
  static Result<std::unique_ptr<SimEngine>> Create(EngineOptions options, LogSink log = {});
  ~SimEngine();
  SimEngine(const SimEngine&) = delete;
  SimEngine& operator=(const SimEngine&) = delete;

  // Device nodes to map ports to (the slaves of the pseudo-terminals).
  const std::string& serial_path() const { return serial_path_; }
  const std::string& usb_path() const { return usb_path_; }  // empty without USB

  void Start();
  void Stop();
  // True once the lines were closed by the hang-up switch.
  bool hung_up() const;

  void SetMisbehaviour(const Misbehaviour& m);
  std::vector<WireCommand> Commands() const;
  void ClearCommands();
  PrinterSettings Settings() const;
  std::vector<FormatEntry> Formats() const;

 private:
  SimEngine() = default;
  void Run();
  void OnBytes(Transport transport, std::span<const std::uint8_t> bytes);
  void Queue(Transport transport, std::vector<std::uint8_t> reply);
  void HangUp();
  void Log(const std::string& line);

  struct Line {
    int master = -1;
    int slave = -1;  // held open so the line survives the utility's closes
    CommandParser parser;
  };
  struct PendingWrite {
    Transport transport;
    std::vector<std::uint8_t> bytes;
    std::chrono::steady_clock::time_point due;
  };

  EngineOptions options_;
  LogSink log_;
  std::string serial_path_, usb_path_;
  Line serial_, usb_;
  int wake_[2] = {-1, -1};
  mutable std::mutex m_;
  PrinterModel model_;
  std::vector<WireCommand> commands_;
  std::vector<PendingWrite> pending_;
  int commands_seen_ = 0;
  bool hung_up_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// Reads a formats file (a registration command file); empty when missing.
std::vector<FormatEntry> LoadFormats(const std::filesystem::path& file);

}  // namespace klm::printer_sim
