#include "utility/serial_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

namespace klm::utility {

namespace {

struct RateCode {
  std::uint32_t rate;
  speed_t code;
};
constexpr RateCode kRates[] = {
    {50, B50},       {75, B75},       {110, B110},     {134, B134},       {150, B150},
    {200, B200},     {300, B300},     {600, B600},     {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> SpeedCode(std::uint32_t rate) {
  for (const auto& r : kRates)
    if (r.rate == rate) return r.code;
  return std::nullopt;
}

std::uint32_t SpeedRate(speed_t code) {
  for (const auto& r : kRates)
    if (r.code == code) return r.rate;
  return 0;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> out;
  for (;;) {
    std::size_t comma = text.find(',');
    out.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return out;
    text.remove_prefix(comma + 1);
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::optional<std::uint32_t> Decimal(std::string_view s) {
  std::uint32_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

Error Errno(std::string_view what) {
  int e = errno;
  std::uint32_t code = ERROR_GEN_FAILURE;
  if (e == ENOENT || e == ENXIO) code = ERROR_FILE_NOT_FOUND;
  else if (e == EACCES || e == EPERM || e == EBUSY || e == EWOULDBLOCK) code = ERROR_ACCESS_DENIED;
  else if (e == EBADF) code = ERROR_INVALID_HANDLE;
  return MakeError(code, std::string(what) + ": " + std::strerror(e));
}

using SteadyClock = std::chrono::steady_clock;

class TermiosChannel final : public SerialChannel {
 public:
  TermiosChannel(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TermiosChannel() override { ::close(fd_); }

  Result<LineSettings> GetSettings() override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return Errno("reading the line settings of " + path_);
    LineSettings s;
    s.baud_rate = SpeedRate(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
      case CS5: s.data_bits = 5; break;
      case CS6: s.data_bits = 6; break;
      case CS7: s.data_bits = 7; break;
      default: s.data_bits = 8; break;
    }
    if (!(t.c_cflag & PARENB)) s.parity = 'n';
    else if (t.c_cflag & CMSPAR) s.parity = (t.c_cflag & PARODD) ? 'm' : 's';
    else s.parity = (t.c_cflag & PARODD) ? 'o' : 'e';
    s.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 1;
    s.rts_cts = (t.c_cflag & CRTSCTS) != 0;
    s.xon_xoff = (t.c_iflag & IXON) != 0;
    // termios has no DTR/DSR flow control: those two are kept for the caller.
    s.dtr_handshake = dtr_handshake_;
    s.dsr_out_flow = dsr_out_flow_;
    return s;
  }

  Status SetSettings(const LineSettings& s) override {
    auto speed = SpeedCode(s.baud_rate);
    if (!speed)
      return MakeError(ERROR_INVALID_PARAMETER, path_ + " cannot run at " + std::to_string(s.baud_rate) + " baud");
    if (s.data_bits < 5 || s.data_bits > 8 || (s.stop_bits != 1 && s.stop_bits != 2))
      return MakeError(ERROR_INVALID_PARAMETER, path_ + ": unsupported data or stop bits");
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return Errno("reading the line settings of " + path_);
    // A printer line carries bytes, never text: no echo, no translation.
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[s.data_bits - 5];
    if (s.parity == 'e') t.c_cflag |= PARENB;
    else if (s.parity == 'o') t.c_cflag |= PARENB | PARODD;
    else if (s.parity == 'm') t.c_cflag |= PARENB | CMSPAR | PARODD;
    else if (s.parity == 's') t.c_cflag |= PARENB | CMSPAR;
    if (s.stop_bits == 2) t.c_cflag |= CSTOPB;
    if (s.rts_cts) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
    if (s.xon_xoff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, *speed);
    cfsetospeed(&t, *speed);
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return Errno("setting the line of " + path_);
    dtr_handshake_ = s.dtr_handshake;
    dsr_out_flow_ = s.dsr_out_flow;
    return {};
  }

  Result<CommTimeouts> GetTimeouts() override {
    if (fcntl(fd_, F_GETFD) < 0) return Errno("reading the time-outs of " + path_);
    return timeouts_;
  }
  Status SetTimeouts(const CommTimeouts& t) override {
    if (fcntl(fd_, F_GETFD) < 0) return Errno("setting the time-outs of " + path_);
    timeouts_ = t;
    return {};
  }

  Status Purge() override {
    if (tcflush(fd_, TCIOFLUSH) != 0) return Errno("purging " + path_);
    return {};
  }

  Status ClearErrors() override {
    // termios keeps no sticky error state; a line that is gone shows here.
    int queued = 0;
    if (ioctl(fd_, FIONREAD, &queued) != 0) return Errno("clearing the errors of " + path_);
    return {};
  }

  Result<std::uint32_t> ModemStatus() override {
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return Errno("reading the modem lines of " + path_);
    return static_cast<std::uint32_t>(lines);
  }

  Result<std::size_t> Read(std::span<std::uint8_t> buffer) override {
    if (buffer.empty()) return std::size_t{0};
    const CommTimeouts& to = timeouts_;
    std::uint64_t total_ms = std::uint64_t{to.read_total_multiplier} * buffer.size() + to.read_total_constant;
    auto start = SteadyClock::now();
    auto deadline = start + std::chrono::milliseconds(total_ms);
    std::size_t got = 0;
    while (got < buffer.size()) {
      int wait_ms = -1;
      auto now = SteadyClock::now();
      if (total_ms != 0) {
        if (now >= deadline) break;
        wait_ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
      }
      if (got > 0 && to.read_interval != 0) {
        int interval = static_cast<int>(to.read_interval);
        wait_ms = wait_ms < 0 ? interval : std::min(wait_ms, interval);
      }
      pollfd p{fd_, POLLIN, 0};
      int r = ::poll(&p, 1, wait_ms);
      if (r < 0) {
        if (errno == EINTR) continue;
        return Errno("waiting to read " + path_);
      }
      if (r == 0) {
        if (got > 0 && to.read_interval != 0 && (total_ms == 0 || SteadyClock::now() < deadline)) break;
        continue;
      }
      ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (got > 0) break;
      // The far end hung up: behave like a dead line and let the time-out pass,
      // so a retry loop above us does not spin.
      std::this_thread::sleep_until(total_ms != 0 ? deadline : start + std::chrono::milliseconds(100));
      return MakeError(ERROR_GEN_FAILURE, path_ + ": the line is gone");
    }
    return got;
  }

  Result<std::size_t> Write(std::span<const std::uint8_t> bytes) override {
    const CommTimeouts& to = timeouts_;
    std::uint64_t total_ms = std::uint64_t{to.write_total_multiplier} * bytes.size() + to.write_total_constant;
    auto start = SteadyClock::now();
    auto deadline = start + std::chrono::milliseconds(total_ms);
    std::size_t done = 0;
    while (done < bytes.size()) {
      int wait_ms = -1;
      if (total_ms != 0) {
        auto now = SteadyClock::now();
        if (now >= deadline) break;
        wait_ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
      }
      pollfd p{fd_, POLLOUT, 0};
      int r = ::poll(&p, 1, wait_ms);
      if (r < 0) {
        if (errno == EINTR) continue;
        return Errno("waiting to write " + path_);
      }
      if (r == 0) continue;
      ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (done > 0) break;
      std::this_thread::sleep_until(total_ms != 0 ? deadline : start + std::chrono::milliseconds(100));
      return MakeError(ERROR_GEN_FAILURE, path_ + ": the line is gone");
    }
    return done;
  }

 private:
  int fd_;
  std::string path_;
  CommTimeouts timeouts_;
  bool dtr_handshake_ = false;
  bool dsr_out_flow_ = false;
};

}  // namespace

Result<LineSettings> ApplyModeText(std::string_view mode, LineSettings base) {
  auto refuse = [&] {
    return MakeError(ERROR_INVALID_PARAMETER,
                     "mode text \"" + std::string(mode) + "\" is not rate,parity,data,stop[,handshake]");
  };
  std::vector<std::string_view> parts = SplitCommas(mode);
  if (parts.size() < 4 || parts.size() > 5) return refuse();
  LineSettings s = base;
  auto rate = Decimal(Trim(parts[0]));
  if (!rate || *rate == 0) return refuse();
  s.baud_rate = *rate;
  std::string_view parity = Trim(parts[1]), data = Trim(parts[2]), stop = Trim(parts[3]);
  if (parity.size() != 1) return refuse();
  char p = static_cast<char>(std::tolower(static_cast<unsigned char>(parity[0])));
  if (std::string_view("neoms").find(p) == std::string_view::npos) return refuse();
  s.parity = p;
  auto bits = Decimal(data);
  if (!bits || *bits < 5 || *bits > 8) return refuse();
  s.data_bits = static_cast<std::uint8_t>(*bits);
  auto stops = Decimal(stop);
  if (!stops || (*stops != 1 && *stops != 2)) return refuse();
  s.stop_bits = static_cast<std::uint8_t>(*stops);
  if (parts.size() == 5) {
    std::string_view h = Trim(parts[4]);
    if (h.size() != 1) return refuse();
    switch (std::tolower(static_cast<unsigned char>(h[0]))) {
      case 'p': s.rts_cts = true; s.xon_xoff = false; s.dtr_handshake = true; s.dsr_out_flow = true; break;
      case 'x': s.rts_cts = false; s.xon_xoff = true; s.dtr_handshake = false; s.dsr_out_flow = false; break;
      case 'n': s.rts_cts = false; s.xon_xoff = false; s.dtr_handshake = false; s.dsr_out_flow = false; break;
      default: return refuse();
    }
  }
  return s;
}

Result<std::unique_ptr<SerialChannel>> OpenTermiosChannel(const std::string& device_path) {
  int fd = ::open(device_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Errno("opening " + device_path);
  if (!isatty(fd)) {
    ::close(fd);
    return MakeError(ERROR_FILE_NOT_FOUND, device_path + " is not a serial device");
  }
  // No sharing: a second opener, in this process or another, is refused.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return MakeError(ERROR_ACCESS_DENIED, device_path + " is in use");
  }
  return std::unique_ptr<SerialChannel>(std::make_unique<TermiosChannel>(fd, device_path));
}

}  // namespace klm::utility
