#include "utility/usb_port_io.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/ports.h"

namespace klm::utility {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kGapMs = 20;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { if (fd_ >= 0) ::close(fd_); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
 private:
  int fd_;
};

Result<int> OpenNode(std::string_view port_name) {
  auto device = platform::PortDevice(port_name);
  if (!device) return device.error();
  int fd = ::open(device->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return MakeError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE,
                     "opening " + *device + " for port " + std::string(port_name) + ": " + std::strerror(errno));
  // A node that is a terminal (the simulator's) must pass bytes untouched.
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  return fd;
}

int MsUntil(SteadyClock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

class DeviceNodeIo final : public UsbPortIo {
 public:
  Result<std::size_t> Write(std::string_view port_name, std::span<const std::uint8_t> bytes,
                            std::uint32_t timeout_ms) override {
    auto opened = OpenNode(port_name);
    if (!opened) return opened.error();
    Fd fd(*opened);
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t done = 0;
    while (done < bytes.size()) {
      pollfd p{fd.get(), POLLOUT, 0};
      int r = ::poll(&p, 1, MsUntil(deadline));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        return MakeError(ERROR_GEN_FAILURE, "writing to port " + std::string(port_name) + ": " + std::strerror(errno));
      if (SteadyClock::now() >= deadline) break;
    }
    if (done < bytes.size())
      return MakeError(ERROR_TIMEOUT, "port " + std::string(port_name) + " took no more than " +
                                          std::to_string(done) + " of " + std::to_string(bytes.size()) + " bytes");
    return done;
  }

  Result<std::size_t> Read(std::string_view port_name, std::span<std::uint8_t> buffer,
                           std::uint32_t timeout_ms) override {
    auto opened = OpenNode(port_name);
    if (!opened) return opened.error();
    Fd fd(*opened);
    auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t got = 0;
    while (got < buffer.size()) {
      int wait = got == 0 ? MsUntil(deadline) : std::min(kGapMs, MsUntil(deadline));
      pollfd p{fd.get(), POLLIN, 0};
      int r = ::poll(&p, 1, wait);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      ssize_t n = ::read(fd.get(), buffer.data() + got, buffer.size() - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        continue;
      } else {
        // The node is gone (the far end hung up): nothing more will come.
        if (got == 0) ::poll(nullptr, 0, MsUntil(deadline));
        break;
      }
    }
    if (got == 0) return MakeError(ERROR_TIMEOUT, "no reply on port " + std::string(port_name));
    return got;
  }
};

}  // namespace

UsbPortIo& DeviceNodePortIo() {
  static DeviceNodeIo io;
  return io;
}

}  // namespace klm::utility
