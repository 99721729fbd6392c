#include "platform/system.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace klm::platform {

namespace {

bool InGroup(const char* name) {
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  while (::getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (found == nullptr) return false;
  if (::getegid() == found->gr_gid) return true;
  int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  count = ::getgroups(count, groups.data());
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<std::size_t>(i)] == found->gr_gid) return true;
  return false;
}

// A folder we may keep private files in: ours, a real folder, not a link.
bool IsOurPrivateFolder(const std::filesystem::path& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  if ((st.st_mode & 077) != 0) return ::chmod(dir.c_str(), 0700) == 0;
  return true;
}

}  // namespace

bool IsAdministrator() {
  if (const char* value = std::getenv("KLM71_ADMIN")) {
    if (std::string_view(value) == "1") return true;
    if (std::string_view(value) == "0") return false;
  }
  return ::geteuid() == 0 || InGroup("lpadmin");
}

std::filesystem::path TempFolder() {
  std::filesystem::path base = "/tmp";
  if (const char* v = std::getenv("KLM71_TEMP"); v && *v) base = v;
  else if (const char* t = std::getenv("TMPDIR"); t && *t) base = t;
  std::filesystem::path dir = base / ("klm71-" + std::to_string(::geteuid()));
  ::mkdir(dir.c_str(), 0700);
  if (IsOurPrivateFolder(dir)) return dir / "";

  // Someone else holds the name: fall back to one private folder per process
  // and base, so files written and read back within the process still meet.
  static std::mutex mutex;
  static std::filesystem::path fallback_base, fallback;
  std::lock_guard lock(mutex);
  if (fallback.empty() || fallback_base != base || !IsOurPrivateFolder(fallback)) {
    std::string pattern = (dir.string() + "-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) return dir / "";  // callers' writes will fail and say where
    fallback = pattern;
    fallback_base = base;
  }
  return fallback / "";
}

std::uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

}  // namespace klm::platform
