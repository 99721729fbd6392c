#include "tools/printer-sim/sim_engine.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace klm::printer_sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct RateCode {
  speed_t code;
  std::uint32_t rate;
};
constexpr RateCode kRates[] = {{B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},
                               {B4800, 4800},   {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
                               {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};

speed_t CodeOf(std::uint32_t rate) {
  for (const auto& r : kRates)
    if (r.rate == rate) return r.code;
  return B9600;
}
std::uint32_t RateOf(speed_t code) {
  for (const auto& r : kRates)
    if (r.code == code) return r.rate;
  return 0;
}

Result<std::pair<int, int>> OpenPty(std::uint32_t rate, std::string& slave_path) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    int e = errno;
    if (master >= 0) close(master);
    return MakeError(ERROR_GEN_FAILURE, std::string("cannot open a pseudo-terminal: ") + std::strerror(e));
  }
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0) {
    close(master);
    return MakeError(ERROR_GEN_FAILURE, "cannot name the pseudo-terminal");
  }
  slave_path = name;
  int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    int e = errno;
    close(master);
    return MakeError(ERROR_GEN_FAILURE, slave_path + ": " + std::strerror(e));
  }
  // Until the utility sets the line, it carries bytes untouched at the printer's rate.
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, CodeOf(rate));
  cfsetospeed(&t, CodeOf(rate));
  tcsetattr(slave, TCSANOW, &t);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return std::pair{master, slave};
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < bytes.size() && i < 16; ++i) {
    if (i) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 15];
  }
  if (bytes.size() > 16) s += " ...";
  return s;
}

void SaveFormats(const std::filesystem::path& file, const std::vector<FormatEntry>& formats) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  auto tmp = file;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    auto bytes = BuildRegistration(formats);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return;
  }
  std::filesystem::rename(tmp, file, ec);
}

}  // namespace

std::vector<FormatEntry> LoadFormats(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseRegistration(bytes).value_or(std::vector<FormatEntry>{});
}

Result<std::unique_ptr<SimEngine>> SimEngine::Create(EngineOptions options, LogSink log) {
  std::unique_ptr<SimEngine> e(new SimEngine());
  e->options_ = std::move(options);
  e->log_ = std::move(log);
  e->model_ = PrinterModel(e->options_.printer);
  if (!e->options_.formats_file.empty()) e->model_.set_formats(LoadFormats(e->options_.formats_file));
  auto serial = OpenPty(e->options_.printer.baud_rate, e->serial_path_);
  if (!serial) return serial.error();
  std::tie(e->serial_.master, e->serial_.slave) = *serial;
  if (e->options_.usb) {
    auto usb = OpenPty(9600, e->usb_path_);
    if (!usb) return usb.error();
    std::tie(e->usb_.master, e->usb_.slave) = *usb;
  }
  if (pipe2(e->wake_, O_CLOEXEC | O_NONBLOCK) != 0)
    return MakeError(ERROR_GEN_FAILURE, "cannot create the simulator's wake-up pipe");
  return e;
}

SimEngine::~SimEngine() {
  Stop();
  for (Line* l : {&serial_, &usb_}) {
    if (l->master >= 0) close(l->master);
    if (l->slave >= 0) close(l->slave);
  }
  for (int fd : wake_)
    if (fd >= 0) close(fd);
}

void SimEngine::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void SimEngine::Stop() {
  {
    std::lock_guard lock(m_);
    stopping_ = true;
  }
  if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
}

bool SimEngine::hung_up() const {
  std::lock_guard lock(m_);
  return hung_up_;
}

void SimEngine::SetMisbehaviour(const Misbehaviour& m) {
  std::lock_guard lock(m_);
  options_.misbehaviour = m;
}

std::vector<WireCommand> SimEngine::Commands() const {
  std::lock_guard lock(m_);
  return commands_;
}

void SimEngine::ClearCommands() {
  std::lock_guard lock(m_);
  commands_.clear();
}

PrinterSettings SimEngine::Settings() const {
  std::lock_guard lock(m_);
  return model_.settings();
}

std::vector<FormatEntry> SimEngine::Formats() const {
  std::lock_guard lock(m_);
  return model_.formats();
}

void SimEngine::Log(const std::string& line) {
  if (log_) log_(line);
}

void SimEngine::Run() {
  std::vector<std::uint8_t> buf(4096);
  for (;;) {
    int timeout = -1;
    std::vector<PendingWrite> due;
    {
      std::lock_guard lock(m_);
      if (stopping_ || hung_up_) return;
      auto now = SteadyClock::now();
      for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->due <= now) {
          due.push_back(std::move(*it));
          it = pending_.erase(it);
        } else {
          auto ms = std::chrono::ceil<std::chrono::milliseconds>(it->due - now).count();
          timeout = timeout < 0 ? static_cast<int>(ms) : std::min(timeout, static_cast<int>(ms));
          ++it;
        }
      }
    }
    for (auto& w : due) {
      int fd = w.transport == Transport::Serial ? serial_.master : usb_.master;
      (void)!write(fd, w.bytes.data(), w.bytes.size());
    }
    if (!due.empty()) continue;

    pollfd fds[3] = {{wake_[0], POLLIN, 0}, {serial_.master, POLLIN, 0}, {usb_.master, POLLIN, 0}};
    nfds_t n = usb_.master >= 0 ? 3 : 2;
    int r = poll(fds, n, timeout);
    if (r < 0 && errno != EINTR) return;
    if (r <= 0) continue;
    if (fds[0].revents) {
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {}
      continue;
    }
    for (nfds_t i = 1; i < n; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      ssize_t got = read(fds[i].fd, buf.data(), buf.size());
      if (got > 0)
        OnBytes(i == 1 ? Transport::Serial : Transport::Usb, std::span(buf).first(static_cast<std::size_t>(got)));
    }
  }
}

void SimEngine::OnBytes(Transport transport, std::span<const std::uint8_t> bytes) {
  Line& line = transport == Transport::Serial ? serial_ : usb_;
  std::uint32_t line_rate = 0;
  if (transport == Transport::Serial) {
    termios t{};
    if (tcgetattr(line.master, &t) == 0) line_rate = RateOf(cfgetospeed(&t));
  }
  std::vector<std::string> log_lines;
  bool hang_up = false;
  {
    std::lock_guard lock(m_);
    const std::uint32_t printer_rate = model_.settings().baud_rate;
    const bool understood = transport == Transport::Usb || line_rate == printer_rate;
    if (!understood) {
      // Bytes at a foreign rate reach the printer as noise.
      line.parser.Reset();
      log_lines.push_back("ignored " + std::to_string(bytes.size()) + " bytes sent at " + std::to_string(line_rate) +
                          " baud (printer at " + std::to_string(printer_rate) + ")");
    }
    for (Command& c : understood ? line.parser.Feed(bytes) : std::vector<Command>{}) {
      const Misbehaviour& mb = options_.misbehaviour;
      std::uint32_t rate_before = model_.settings().baud_rate;
      std::vector<std::uint8_t> reply = model_.Handle(c);
      if (model_.formats_changed()) {
        if (!options_.formats_file.empty()) SaveFormats(options_.formats_file, model_.formats());
        log_lines.push_back("registered " + std::to_string(model_.formats().size()) + " paper formats");
      }
      if (model_.settings().baud_rate != rate_before)
        log_lines.push_back("baud rate now " + std::to_string(model_.settings().baud_rate));
      log_lines.push_back(std::string(transport == Transport::Serial ? "serial" : "usb") + ": " +
                          std::string(CommandName(c.kind)) + " [" + Hex(c.bytes) + "]");
      commands_.push_back({transport, c.kind, std::move(c.bytes), line_rate});
      ++commands_seen_;
      if (!reply.empty() && !mb.silent) {
        if (mb.model_codes && reply.size() >= 5) {
          reply[3] = static_cast<std::uint8_t>(*mb.model_codes & 0xFF);
          reply[4] = static_cast<std::uint8_t>(*mb.model_codes >> 8);
        }
        std::vector<std::uint8_t> noise;
        for (std::size_t i = 0; i < mb.stray_bytes; ++i) noise.push_back(i % 2 ? 0xFF : 0x00);
        reply.insert(reply.begin(), noise.begin(), noise.end());
        auto due = SteadyClock::now() + std::chrono::milliseconds(mb.reply_delay_ms);
        std::size_t piece = mb.chunk_size ? mb.chunk_size : reply.size();
        for (std::size_t at = 0; at < reply.size(); at += piece) {
          auto end = reply.begin() + static_cast<std::ptrdiff_t>(std::min(reply.size(), at + piece));
          pending_.push_back({transport, std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at), end), due});
          due += std::chrono::milliseconds(mb.chunk_gap_ms);
        }
      }
      if (mb.hang_up_after >= 0 && commands_seen_ >= mb.hang_up_after) {
        hang_up = true;
        break;
      }
    }
    if (!understood) commands_.push_back({transport, std::nullopt, {bytes.begin(), bytes.end()}, line_rate});
  }
  for (const auto& l : log_lines) Log(l);
  if (hang_up) HangUp();
}

void SimEngine::HangUp() {
  Log("hanging up");
  std::lock_guard lock(m_);
  hung_up_ = true;
  pending_.clear();
  for (Line* l : {&serial_, &usb_}) {
    if (l->slave >= 0) close(l->slave);
    if (l->master >= 0) close(l->master);
    l->slave = l->master = -1;
  }
}

}  // namespace klm::printer_sim
