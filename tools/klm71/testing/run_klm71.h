// Runs the built klm71 program (KLM71_BUILD_BIN) with arguments, as a user
// would, and captures its exit status and output.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace klm::testing {

struct Outcome {
  int status;
  std::string out;
};

// `with_errors`: standard error is captured too (for the messages people see).
inline Outcome Klm71(const std::string& args, bool with_errors = true) {
  std::string command = std::string(std::getenv("KLM71_BUILD_BIN")) + "/klm71 " + args +
                        (with_errors ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, "cannot start klm71"};
  std::string out;
  std::array<char, 4096> buffer{};
  while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace klm::testing
