// Small system services: the administrator test, the temporary folder and
// the millisecond tick counter.
#pragma once

#include <cstdint>
#include <filesystem>

namespace klm::platform {

// True for the superuser or a member of the group "lpadmin". The environment
// variable KLM71_ADMIN=1 or =0 overrides the answer (for tests and for users
// who administer their own machine root).
bool IsAdministrator();

// The temporary folder with a trailing separator: $KLM71_TEMP, else $TMPDIR,
// else /tmp, followed by "klm71-<uid>/", created with mode 0700. Empty path
// when it cannot be created.
std::filesystem::path TempFolder();

// Milliseconds since an arbitrary start, wrapping at 2^32 like the
// platform's tick counter.
std::uint32_t TickCount();

}  // namespace klm::platform
