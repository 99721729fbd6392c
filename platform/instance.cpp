#include "platform/instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/machine_root.h"

namespace klm::platform {

namespace fs = std::filesystem;

namespace {

constexpr char kActivate = 'A';

// Names may hold any byte; the file name keeps the safe ones and escapes the rest.
std::string FileNameFor(std::string_view name) {
  std::string out;
  for (char c : name) {
    auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '.' ||
        b == '_' || b == '-') {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", b);
      out += hex;
    }
  }
  return out;
}

fs::path LockPath(std::string_view name) {
  return MachineRoot() / "run" / (FileNameFor(name) + ".lock");
}

// The holder listens on an abstract socket named after the lock file: a path
// under the machine root could exceed the 108 bytes a socket address holds,
// and an abstract name vanishes with its process.
sockaddr_un SocketAddress(const fs::path& lock_path, socklen_t& length) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: the same in every process
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(lock_path, ec);
  for (unsigned char c : (ec ? lock_path : canonical).string()) hash = (hash ^ c) * 1099511628211ull;
  char text[64];
  int n = std::snprintf(text, sizeof text, "klm71-instance-%u-%016llx", static_cast<unsigned>(::geteuid()),
                        static_cast<unsigned long long>(hash));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, text, static_cast<std::size_t>(n));  // sun_path[0] == 0: abstract
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(n));
  return addr;
}

}  // namespace

struct InstanceLock::State {
  bool already_running = false;
  int lock_fd = -1;
  int listen_fd = -1;
  int stop_fd = -1;
  std::thread listener;
  std::mutex mutex;
  std::function<void()> callback;
  bool pending = false;

  void Deliver() {
    std::function<void()> run;
    {
      std::lock_guard lock(mutex);
      if (!callback) {
        pending = true;
        return;
      }
      run = callback;
    }
    run();
  }

  void Listen() {
    for (;;) {
      pollfd fds[2] = {{listen_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      int client = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      // Only the same user may bring our window forward.
      ucred peer{};
      socklen_t size = sizeof peer;
      bool same_user = ::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                       peer.uid == ::geteuid();
      pollfd in{client, POLLIN, 0};
      char request = 0;
      if (same_user && ::poll(&in, 1, 1000) == 1 && ::read(client, &request, 1) == 1 &&
          request == kActivate)
        Deliver();
      ::close(client);
    }
  }

  ~State() {
    if (listener.joinable()) {
      std::uint64_t one = 1;
      while (::write(stop_fd, &one, sizeof one) < 0 && errno == EINTR) {
      }
      listener.join();
    }
    if (listen_fd >= 0) ::close(listen_fd);
    if (stop_fd >= 0) ::close(stop_fd);
    if (lock_fd >= 0) ::close(lock_fd);  // releases the lock; the file stays for the next holder
  }
};

InstanceLock::InstanceLock(std::unique_ptr<State> state) : state_(std::move(state)) {}
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;
InstanceLock::~InstanceLock() = default;

bool InstanceLock::AlreadyRunning() const { return state_ && state_->already_running; }

void InstanceLock::OnActivateRequest(std::function<void()> callback) {
  if (!state_ || state_->already_running) return;
  bool deliver = false;
  {
    std::lock_guard lock(state_->mutex);
    state_->callback = std::move(callback);
    deliver = state_->pending && state_->callback;
    if (deliver) state_->pending = false;
  }
  if (deliver) state_->Deliver();
}

Result<InstanceLock> AcquireInstance(std::string_view name) {
  if (name.empty()) return MakeError(ERROR_INVALID_NAME, "instance name is empty");
  fs::path path = LockPath(name);
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  auto state = std::make_unique<InstanceLock::State>();
  state->lock_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (state->lock_fd < 0)
    return MakeError(Win32FromErrno(errno), "cannot create lock file \"" + path.string() + "\": " +
                                                std::strerror(errno));
  if (::flock(state->lock_fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK)
      return MakeError(Win32FromErrno(errno), "cannot lock \"" + path.string() + "\": " + std::strerror(errno));
    ::close(state->lock_fd);
    state->lock_fd = -1;
    state->already_running = true;
    return InstanceLock(std::move(state));
  }
  // Without the listener the lock still works; only activation requests fail.
  socklen_t length = 0;
  sockaddr_un addr = SocketAddress(path, length);
  state->listen_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  state->stop_fd = ::eventfd(0, EFD_CLOEXEC);
  if (state->listen_fd >= 0 && state->stop_fd >= 0 &&
      ::bind(state->listen_fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 &&
      ::listen(state->listen_fd, 4) == 0) {
    InstanceLock::State* raw = state.get();
    state->listener = std::thread([raw] { raw->Listen(); });
  }
  return InstanceLock(std::move(state));
}

Status RequestActivate(std::string_view name) {
  socklen_t length = 0;
  sockaddr_un addr = SocketAddress(LockPath(name), length);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return MakeError(Win32FromErrno(errno), "cannot make a socket");
  bool sent = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 &&
              ::write(fd, &kActivate, 1) == 1;
  ::close(fd);
  if (!sent)
    return MakeError(ERROR_FILE_NOT_FOUND, "no running copy holds \"" + std::string(name) + "\"");
  return {};
}

}  // namespace klm::platform
