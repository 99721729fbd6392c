// klm71-printer-sim: plays an LM-7100 on a pseudo-terminal (and a USB
// stand-in node), maps the given port names to them in the machine store,
// and answers until interrupted.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <optional>

#include "platform/machine_root.h"
#include "platform/ports.h"
#include "tools/printer-sim/sim_engine.h"

namespace sim = klm::printer_sim;

namespace {

std::filesystem::path DefaultFormatsFile(std::string port) {
  while (!port.empty() && port.back() == ':') port.pop_back();
  for (char& c : port)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return klm::platform::MachineRoot() / "printer-sim" / (port + ".formats.bin");
}

int ListFormats(const std::filesystem::path& file) {
  auto formats = sim::LoadFormats(file);
  std::printf("%zu paper format(s) registered in %s\n", formats.size(), file.c_str());
  for (std::size_t i = 0; i < formats.size(); ++i) {
    std::printf("%3zu:", i);
    for (std::size_t b = 0; b < formats[i].size(); ++b) std::printf("%s%02X", b % 32 == 0 && b ? "\n     " : " ", formats[i][b]);
    std::printf("\n");
  }
  return 0;
}

// Maps `port` to `device`, remembering what it was mapped to before.
struct Mapping {
  std::string port;
  std::optional<std::string> previous;
};

std::optional<Mapping> Map(const std::string& port, const std::string& device) {
  Mapping m{port, {}};
  if (auto old = klm::platform::PortDevice(port)) m.previous = *old;
  if (auto s = klm::platform::MapPort(port, device); !s) {
    std::fprintf(stderr, "klm71-printer-sim: cannot map %s: %s\n", port.c_str(), s.error().message.c_str());
    return std::nullopt;
  }
  std::printf("%s -> %s\n", port.c_str(), device.c_str());
  return m;
}

void Unmap(const Mapping& m) {
  if (m.previous) (void)klm::platform::MapPort(m.port, *m.previous);
  else (void)klm::platform::UnmapPort(m.port);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Plays a Koravel LM-7100 label printer on a pseudo-terminal for the printer utility."};
  std::string port, usb_port, formats_file, model_codes;
  sim::EngineOptions options;
  unsigned command_system = 0, power_on = 1;
  bool list_formats = false, quiet = false;
  app.add_option("--port", port, "serial port name to map, e.g. COM1: or QMCOM1:'s COM1:");
  app.add_option("--usb", usb_port, "USB port name to map to the USB stand-in node, e.g. USB001");
  app.add_option("--baud", options.printer.baud_rate, "the printer's baud rate")->check(CLI::IsMember(
      std::vector<std::uint32_t>{300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400}));
  app.add_option("--command-system", command_system, "initial command system")->check(CLI::IsMember({0, 1, 3}));
  app.add_option("--power-on", power_on, "initial power-on setting")->check(CLI::IsMember({0, 1}));
  app.add_option("--formats", formats_file, "file keeping the registered paper formats "
                                            "(default: printer-sim/<port>.formats.bin in the machine root)");
  app.add_flag("--list-formats", list_formats, "list the registered paper formats and exit");
  app.add_flag("--silent", options.misbehaviour.silent, "never answer");
  app.add_option("--model-codes", model_codes, "answer these two characters (series, model) instead of \"51\"")
      ->check([](const std::string& s) { return s.size() == 2 ? std::string() : std::string("two characters"); });
  app.add_option("--stray", options.misbehaviour.stray_bytes, "bytes of noise before every reply");
  app.add_option("--delay", options.misbehaviour.reply_delay_ms, "milliseconds before every reply");
  app.add_option("--chunk", options.misbehaviour.chunk_size, "send replies in pieces of this many bytes");
  app.add_option("--chunk-gap", options.misbehaviour.chunk_gap_ms, "milliseconds between pieces");
  app.add_option("--hang-up-after", options.misbehaviour.hang_up_after, "close the lines after this many commands");
  app.add_flag("--quiet", quiet, "print only the port mappings");
  CLI11_PARSE(app, argc, argv);

  std::filesystem::path formats = formats_file;
  if (formats.empty() && !port.empty()) formats = DefaultFormatsFile(port);
  if (list_formats) {
    if (formats.empty()) {
      std::fprintf(stderr, "klm71-printer-sim: --list-formats needs --port or --formats\n");
      return 2;
    }
    return ListFormats(formats);
  }
  if (port.empty()) {
    std::fprintf(stderr, "klm71-printer-sim: --port is required (e.g. --port COM1:)\n");
    return 2;
  }
  options.printer.command_system = static_cast<std::uint8_t>(command_system);
  options.printer.power_on = static_cast<std::uint8_t>(power_on);
  if (!model_codes.empty())
    options.misbehaviour.model_codes = static_cast<std::uint16_t>(static_cast<unsigned char>(model_codes[0]) |
                                                                 static_cast<unsigned char>(model_codes[1]) << 8);
  options.usb = !usb_port.empty();
  options.formats_file = formats;

  // Signals are taken by sigtimedwait below, never by a handler in a thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  auto log = quiet ? sim::SimEngine::LogSink{} : [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  auto engine = sim::SimEngine::Create(options, log);
  if (!engine) {
    std::fprintf(stderr, "klm71-printer-sim: %s\n", engine.error().message.c_str());
    return 1;
  }
  std::vector<Mapping> mappings;
  auto serial = Map(port, (*engine)->serial_path());
  if (!serial) return 1;
  mappings.push_back(*serial);
  if (options.usb) {
    auto usb = Map(usb_port, (*engine)->usb_path());
    if (!usb) {
      Unmap(*serial);
      return 1;
    }
    mappings.push_back(*usb);
  }
  std::printf("LM-7100 at %u baud, series \"%c\", model \"%c\"; formats kept in %s\nready (Ctrl-C ends)\n",
              options.printer.baud_rate, options.printer.series_code, options.printer.model_code, formats.c_str());
  std::fflush(stdout);
  (*engine)->Start();

  const timespec tick{0, 200'000'000};
  while (!(*engine)->hung_up()) {
    if (sigtimedwait(&stop_signals, nullptr, &tick) > 0) break;
  }
  (*engine)->Stop();
  for (const auto& m : mappings) Unmap(m);
  std::printf("stopped\n");
  return 0;
}
