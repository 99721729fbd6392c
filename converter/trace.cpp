#include "converter/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace klm::converter {
namespace {

bool Enabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("KLM71_CV_TRACE");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
  }();
  return enabled;
}

}  // namespace

void Trace(std::string_view text) {
  if (!Enabled()) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void TraceError(std::string_view text, std::uint32_t code) {
  if (!Enabled()) return;
  Trace(std::string(text) + " (error " + std::to_string(code) + ")\r\n");
}

}  // namespace klm::converter
