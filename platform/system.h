// Small facts about the user and the machine that the package asks the
// platform for.
#pragma once

#include <cstdint>
#include <filesystem>

namespace klm::platform {

// True for effective uid 0 or a member of the group "lpadmin" (the people who
// may administer printers). KLM71_ADMIN=1 or =0 overrides. Never fails: an
// unknown group counts as not a member.
bool IsAdministrator();

// The per-user temporary folder with a trailing separator: $KLM71_TEMP, else
// $TMPDIR, else /tmp, plus "klm71-<uid>/", created with mode 0700. When that
// name is taken by something not ours (another owner, a link, a file), a fresh
// private folder beside it is used for the rest of the process.
std::filesystem::path TempFolder();

// Milliseconds of a steady clock, wrapping to 0 after 2^32 like the platform's
// 32-bit tick counter. Compare ticks by unsigned difference.
std::uint32_t TickCount();

}  // namespace klm::platform
