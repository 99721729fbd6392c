#include "platform/system.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace klm::platform {

namespace fs = std::filesystem;

bool IsAdministrator() {
  if (const char* over = std::getenv("KLM71_ADMIN"); over && *over) return std::strcmp(over, "0") != 0;
  if (geteuid() == 0) return true;
  const group* admins = getgrnam("lpadmin");
  if (!admins) return false;
  if (getegid() == admins->gr_gid) return true;
  int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  count = getgroups(count, groups.data());
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<std::size_t>(i)] == admins->gr_gid) return true;
  return false;
}

fs::path TempFolder() {
  const char* base = std::getenv("KLM71_TEMP");
  if (!base || !*base) base = std::getenv("TMPDIR");
  if (!base || !*base) base = "/tmp";
  fs::path folder = fs::path(base) / ("klm71-" + std::to_string(getuid()));
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return folder / "";
}

std::uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

}  // namespace klm::platform
