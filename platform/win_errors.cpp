#include "platform/win_errors.h"

namespace klm {

namespace {
thread_local std::uint32_t t_last_error = ERROR_SUCCESS;
}

std::uint32_t GetLastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

}  // namespace klm
