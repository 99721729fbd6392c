#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/files.h"

extern char** environ;

namespace klm::platform {

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Arguments after the program name, with the C runtime's quoting rules.
void SplitArguments(std::string_view s, std::size_t i, std::vector<std::string>& out) {
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) return;
    std::string token;
    bool quoted = false;
    while (i < s.size() && (quoted || !IsBlank(s[i]))) {
      char c = s[i];
      if (c == '\\') {
        std::size_t n = 0;
        while (i < s.size() && s[i] == '\\') ++n, ++i;
        if (i < s.size() && s[i] == '"') {
          token.append(n / 2, '\\');
          if (n % 2 == 1) token += '"', ++i;  // escaped quote
        } else {
          token.append(n, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          token += '"';  // "" inside quotes is a literal quote
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        token += c;
        ++i;
      }
    }
    out.push_back(std::move(token));
  }
}

bool IsExecutableFile(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 && ::access(p.c_str(), X_OK) == 0;
}

fs::path ProgramFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

std::vector<fs::path> PathFolders() {
  const char* path = std::getenv("PATH");
  std::string_view rest = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::vector<fs::path> folders;
  while (!rest.empty()) {
    auto colon = rest.find(':');
    std::string_view part = rest.substr(0, colon);
    if (!part.empty()) folders.emplace_back(std::string(part));
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return folders;
}

bool IsWebAddress(std::string_view s) {
  // A scheme of two or more letters, so "C:\..." stays a file.
  auto colon = s.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char c = s[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

std::uint32_t ExitCodeFrom(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return kStillActive;
}

Result<fs::path> ResolveDirectory(std::string_view directory) {
  if (directory.empty()) return fs::path();
  fs::path dir = ResolveCaseInsensitive(FromWindowsPath(directory));
  std::error_code ec;
  if (!fs::is_directory(dir, ec))
    return MakeError(ERROR_DIRECTORY, "working folder \"" + std::string(directory) + "\" is not a folder");
  return dir;
}

Status AppendShellLog(const char* log, std::string_view file, std::string_view parameters,
                      std::string_view directory) {
  std::string line = std::string(file) + "|" + std::string(parameters) + "|" +
                     std::string(directory) + "\n";
  int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return MakeError(Win32FromErrno(errno), std::string("cannot open shell log ") + log);
  // One write, so lines of concurrent callers never interleave.
  ssize_t n = ::write(fd, line.data(), line.size());
  ::close(fd);
  if (n != static_cast<ssize_t>(line.size()))
    return MakeError(ERROR_GEN_FAILURE, std::string("cannot write shell log ") + log);
  return {};
}

}  // namespace

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), finished_(other.finished_), exit_code_(other.exit_code_) {
  other.pid_ = -1;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Release();
    pid_ = other.pid_;
    finished_ = other.finished_;
    exit_code_ = other.exit_code_;
    other.pid_ = -1;
  }
  return *this;
}

Process::~Process() { Release(); }

void Process::Release() {
  if (pid_ > 0 && !finished_) {
    int pid = pid_;
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  }
  pid_ = -1;
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < command_line.size() && IsBlank(command_line[i])) ++i;
  if (i >= command_line.size()) return out;
  // The program name: quotes group, backslashes are plain path separators.
  std::string program;
  bool quoted = false;
  for (; i < command_line.size() && (quoted || !IsBlank(command_line[i])); ++i) {
    if (command_line[i] == '"') quoted = !quoted;
    else program += command_line[i];
  }
  out.push_back(std::move(program));
  SplitArguments(command_line, i, out);
  return out;
}

Result<fs::path> FindProgram(std::string_view program, const fs::path& working_directory) {
  fs::path name = FromWindowsPath(program);
  if (name.empty() || !name.has_filename())
    return MakeError(ERROR_FILE_NOT_FOUND, "no program named in \"" + std::string(program) + "\"");
  std::vector<fs::path> folders;
  if (name.has_parent_path()) {
    folders.push_back(name.parent_path());
  } else {
    folders.push_back(ProgramFolder());
    folders.push_back(working_directory.empty() ? fs::path(".") : working_directory);
    for (auto& f : PathFolders()) folders.push_back(std::move(f));
  }
  bool exe = EqualsIgnoringAsciiCase(name.extension().string(), ".exe");
  std::optional<fs::path> not_executable;
  for (const fs::path& folder : folders) {
    fs::path exact = ResolveCaseInsensitive(folder / name.filename());
    if (IsExecutableFile(exact)) return exact;
    std::error_code ec;
    if (fs::is_regular_file(exact, ec) && !not_executable) not_executable = exact;
    if (exe) {
      fs::path native = ResolveCaseInsensitive(folder / name.stem());
      if (IsExecutableFile(native)) return native;
    }
  }
  if (not_executable)
    return MakeError(ERROR_BAD_EXE_FORMAT, "\"" + not_executable->string() + "\" is not executable");
  return MakeError(ERROR_FILE_NOT_FOUND, "program \"" + std::string(program) + "\" not found");
}

Result<Process> StartProgram(const fs::path& program, const std::vector<std::string>& arguments,
                             const fs::path& working_directory) {
  std::vector<std::string> args;
  args.push_back(program.string());
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attr);
  // Like the platform's processes: no handles inherited, default signals,
  // and a session of its own so it outlives a closed terminal.
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!working_directory.empty())
    ::posix_spawn_file_actions_addchdir_np(&actions, working_directory.c_str());
  sigset_t none, defaults;
  sigemptyset(&none);
  sigfillset(&defaults);
  ::posix_spawnattr_setsigmask(&attr, &none);
  ::posix_spawnattr_setsigdefault(&attr, &defaults);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int err = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attr);
  if (err != 0)
    return MakeError(Win32FromErrno(err),
                     "cannot start \"" + program.string() + "\": " + std::strerror(err));
  return Process(pid);
}

Result<Process> StartProcess(std::string_view command_line, const StartOptions& options) {
  auto dir = ResolveDirectory(options.working_directory);
  if (!dir) return dir.error();
  std::vector<std::string> args = SplitCommandLine(command_line);
  if (args.empty()) return MakeError(ERROR_INVALID_PARAMETER, "empty command line");
  auto program = FindProgram(args.front(), *dir);
  if (!program) return program.error();
  args.erase(args.begin());
  return StartProgram(*program, args, *dir);
}

bool WaitForProcess(Process& process, std::uint32_t timeout_ms) {
  if (process.finished_) return true;
  if (process.pid_ <= 0) return false;
  auto collect = [&process]() {
    int status = 0;
    pid_t r;
    do r = ::waitpid(process.pid_, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    process.finished_ = true;
    // ECHILD: someone else reaped it; its code is lost.
    process.exit_code_ = r > 0 ? ExitCodeFrom(status) : 0xFFFFFFFFu;
    return true;
  };
  if (collect() || timeout_ms == 0) return process.finished_;

  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, process.pid_, 0));
  for (;;) {
    int wait_ms = -1;
    if (timeout_ms != kInfinite) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      wait_ms = static_cast<int>(std::max<long long>(0, left.count()));
    }
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      ::poll(&p, 1, wait_ms);
    } else {
      // No process descriptors on this kernel: look again every few ms.
      std::this_thread::sleep_for(
          std::chrono::milliseconds(wait_ms < 0 ? 5 : std::min(wait_ms, 5)));
    }
    if (collect() || (timeout_ms != kInfinite && Clock::now() >= deadline)) break;
  }
  if (pidfd >= 0) ::close(pidfd);
  return process.finished_;
}

Status ShellOpen(std::string_view file, std::string_view parameters, std::string_view directory) {
  if (const char* log = std::getenv("KLM71_SHELL_LOG"); log && *log)
    return AppendShellLog(log, file, parameters, directory);
  auto dir = ResolveDirectory(directory);
  if (!dir) return dir.error();

  fs::path target;
  if (IsWebAddress(file)) {
    target = std::string(file);
  } else {
    auto program = FindProgram(file, *dir);
    if (program) {
      std::vector<std::string> args;
      SplitArguments(parameters, 0, args);
      auto started = StartProgram(*program, args, *dir);
      return started ? Status() : Status(started.error());
    }
    fs::path name = FromWindowsPath(file);
    if (name.is_relative() && !dir->empty()) name = *dir / name;
    target = ResolveCaseInsensitive(name);
    std::error_code ec;
    if (!fs::exists(target, ec))
      return MakeError(ERROR_FILE_NOT_FOUND, "cannot open \"" + std::string(file) + "\": no such file");
    target = fs::absolute(target, ec);
  }
  std::optional<fs::path> opener;
  for (const fs::path& folder : PathFolders()) {
    if (IsExecutableFile(folder / "xdg-open")) {
      opener = folder / "xdg-open";
      break;
    }
  }
  if (!opener)
    return MakeError(ERROR_NO_ASSOCIATION, "cannot open \"" + std::string(file) +
                                               "\": xdg-open is not installed");
  auto started = StartProgram(*opener, {target.string()}, *dir);
  return started ? Status() : Status(started.error());
}

}  // namespace klm::platform
