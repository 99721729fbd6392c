#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

namespace klm::platform {

namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

// Several entries may differ only in case; the smallest name wins so that
// every process resolves the same way.
std::optional<std::string> FindIgnoringCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  std::optional<std::string> best;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (EqualsIgnoringAsciiCase(entry, name) && (!best || entry < *best)) best = entry;
  }
  return best;
}

Error ErrnoError(int err, const std::string& what, const fs::path& path) {
  return MakeError(Win32FromErrno(err), what + " \"" + path.string() + "\": " + std::strerror(err));
}

// ENOENT means the file is missing only when its folder exists.
std::uint32_t MissingCode(const fs::path& path) {
  fs::path dir = path.parent_path();
  return dir.empty() || Exists(dir) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

fs::path FromWindowsPath(std::string_view path) {
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return fs::path(native);
}

fs::path ResolveCaseInsensitive(const fs::path& path) {
  fs::path given = FromWindowsPath(path.string());
  if (Exists(given)) return given;
  fs::path out;
  bool missing = false;
  for (const fs::path& part : given) {
    fs::path candidate = out / part;
    std::string name = part.string();
    if (missing || name.empty() || name == "/" || name == "." || name == ".." || Exists(candidate)) {
      out = candidate;
      continue;
    }
    auto match = FindIgnoringCase(out.empty() ? fs::path(".") : out, name);
    if (match) {
      out /= *match;
    } else {
      missing = true;  // the rest cannot exist; keep it as written
      out = candidate;
    }
  }
  return out;
}

std::uint32_t Win32FromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: case EBUSY:
      return ERROR_ACCESS_DENIED;
    case ENOSPC: case EDQUOT: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    default: return ERROR_GEN_FAILURE;
  }
}

Result<std::vector<std::uint8_t>> ReadWholeFile(const fs::path& path) {
  fs::path file = ResolveCaseInsensitive(path);
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if (err == ENOENT) return MakeError(MissingCode(file), "cannot open \"" + file.string() + "\": no such file");
    return ErrnoError(err, "cannot open", file);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return MakeError(ERROR_ACCESS_DENIED, "\"" + file.string() + "\" is not a regular file");
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  for (;;) {
    if (done == bytes.size()) bytes.resize(bytes.size() + 4096);  // the file may grow meanwhile
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return ErrnoError(err, "cannot read", file);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);
  return bytes;
}

Status WriteFileAtomic(const fs::path& path, std::span<const std::uint8_t> bytes) {
  fs::path target = ResolveCaseInsensitive(path);
  std::error_code ec;
  // Replace the file a link points to, not the link.
  if (fs::is_symlink(target, ec)) {
    fs::path real = fs::weakly_canonical(target, ec);
    if (!ec) target = real;
  }
  fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  struct stat st {};
  bool replacing = ::stat(target.c_str(), &st) == 0;
  if (replacing && S_ISDIR(st.st_mode))
    return MakeError(ERROR_ACCESS_DENIED, "cannot write \"" + target.string() + "\": it is a folder");
  if (replacing && (st.st_mode & S_IWUSR) == 0)
    return MakeError(ERROR_ACCESS_DENIED, "cannot write \"" + target.string() + "\": the file is read-only");
  struct stat dir_st {};
  if (::stat(dir.c_str(), &dir_st) != 0 || !S_ISDIR(dir_st.st_mode))
    return MakeError(ERROR_PATH_NOT_FOUND, "cannot write \"" + target.string() + "\": folder missing");

  static std::atomic<unsigned> counter{0};
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = dir / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                  std::to_string(counter++));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return ErrnoError(errno, "cannot create a temporary file beside", target);

  int err = 0;
  if (!WriteAll(fd, bytes)) err = errno;
  if (!err && replacing && ::fchmod(fd, st.st_mode & 07777) != 0) err = errno;
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return ErrnoError(err, "cannot write", target);
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  return {};
}

Status CopyFileReplace(const fs::path& from, const fs::path& to) {
  auto bytes = ReadWholeFile(from);
  if (!bytes) return bytes.error();
  return WriteFileAtomic(to, *bytes);
}

}  // namespace klm::platform
