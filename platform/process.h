// Starting the package's programs and opening documents, from command lines
// written for the other platform: blanks separate arguments, "..." groups
// them, '\' separates folders, and "X.exe" finds the native program "X".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace klm::platform {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr std::uint32_t kStillActive = 259;  // exit code of a running program

struct StartOptions {
  std::string working_directory;  // empty: the caller's; '\' and any case allowed
};

// A started program. Move-only. Dropping it neither waits for nor stops the
// program; it is reaped in the background when it ends, so no zombie stays.
class Process {
 public:
  explicit Process(int pid) : pid_(pid) {}  // takes over a child of this process
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  int pid() const { return pid_; }
  bool finished() const { return finished_; }
  // Its exit status once finished (128 + n when signal n ended it), else kStillActive.
  std::uint32_t exit_code() const { return exit_code_; }

 private:
  friend bool WaitForProcess(Process&, std::uint32_t);
  void Release();

  int pid_ = -1;
  bool finished_ = false;
  std::uint32_t exit_code_ = kStillActive;
};

// Splits like the other platform's C runtime: blanks outside quotes separate,
// 2n backslashes before '"' give n and a quote toggle, 2n+1 give n and a
// literal '"'; the first token (the program) takes no backslash escapes.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// The native executable a program name stands for: the exact file when it is
// executable, else "X" for "X.exe", matched ignoring case. A bare name is
// looked for beside this program, in `working_directory` (else the current
// folder), then along $PATH. ERROR_FILE_NOT_FOUND, or ERROR_BAD_EXE_FORMAT for
// a file that cannot be executed.
Result<std::filesystem::path> FindProgram(std::string_view program,
                                          const std::filesystem::path& working_directory = {});

// Starts the program the command line names with the remaining arguments. A
// program that cannot be started is an error here, never a wait without end.
// ERROR_DIRECTORY for a working directory that is not a folder.
Result<Process> StartProcess(std::string_view command_line, const StartOptions& options = {});

// Starts `program` (already resolved) with `arguments` (argv[1..]).
Result<Process> StartProgram(const std::filesystem::path& program,
                             const std::vector<std::string>& arguments,
                             const std::filesystem::path& working_directory);

// Waits up to timeout_ms (0 polls, kInfinite waits for good). True when the
// program has ended; its exit code is then in the Process.
bool WaitForProcess(Process& process, std::uint32_t timeout_ms);

// The shell's "open": an executable (found as FindProgram does, `directory`
// first) is started with `parameters` split as above; documents, folders and
// web addresses go to xdg-open (ERROR_NO_ASSOCIATION naming it when missing).
// Nothing waits. With $KLM71_SHELL_LOG set, only appends the line
// "file|parameters|directory" to that file.
Status ShellOpen(std::string_view file, std::string_view parameters, std::string_view directory);

}  // namespace klm::platform
