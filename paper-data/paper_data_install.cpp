#include "paper-data/paper_data_install.h"

#include <system_error>

#include "paper-data/qmd_compile.h"
#include "platform/files.h"

namespace klm::paperdata {
namespace {

namespace fs = std::filesystem;

Status Copy(const fs::path& from, const fs::path& to) {
  auto copied = platform::CopyFileReplace(from, to);
  if (!copied) {
    return MakeError(copied.error().code, "cannot place " + to.string() + " from " +
                                              from.string() + ": " + copied.error().message);
  }
  return {};
}

Status Compile(const fs::path& source, const fs::path& output) {
  auto text = SourceText::Load(source);
  if (!text) return MakeError(text.error().code, "cannot read " + source.string());
  CompileOutcome outcome = CompileSource(*text, source.filename().string());
  if (!outcome.qmd) {
    return MakeError(ERROR_INVALID_DATA, outcome.problems.empty() ? source.string()
                                                                  : outcome.problems.front());
  }
  auto written = platform::WriteFileAtomic(output, SerializeQmd(*outcome.qmd));
  if (!written) return MakeError(written.error().code, "cannot write " + output.string());
  return {};
}

}  // namespace

Status InstallPaperData(const fs::path& data_dir, const fs::path& bin_dir,
                        const fs::path& share_dir) {
  std::error_code ec;
  fs::create_directories(data_dir, ec);
  if (ec) return MakeError(ERROR_PATH_NOT_FOUND, "cannot create " + data_dir.string());
  for (const char* name : {"KLM71i6.so", "KLM71i3.so"}) {
    if (auto s = Copy(bin_dir / "KLM71i6.so", data_dir / name); !s) return s;
  }
  // The compiler runs on its own and finds the platform library beside it.
  if (auto s = Copy(bin_dir / "libklm71_platform.so", data_dir / "libklm71_platform.so"); !s) {
    return s;
  }
  if (auto s = Copy(bin_dir / "KLM71pc", data_dir / "KLM71pc"); !s) return s;
  fs::permissions(data_dir / "KLM71pc",
                  fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  if (ec) return MakeError(ERROR_ACCESS_DENIED, "cannot make KLM71pc executable");

  if (auto s = Copy(share_dir / "klm71ad.txt", data_dir / "klm71ad.txt"); !s) return s;
  if (auto s = Compile(data_dir / "klm71ad.txt", data_dir / "klm71ad.qmd"); !s) return s;
  if (auto s = Copy(share_dir / "KLM71v.org", data_dir / "KLM71v.org"); !s) return s;
  const auto keep = [&](const char* name) {
    return fs::exists(platform::ResolveCaseInsensitive(data_dir / name));
  };
  if (!keep("klm71ed.txt")) {
    if (auto s = Copy(share_dir / "klm71ed.txt", data_dir / "klm71ed.txt"); !s) return s;
  }
  if (!keep("klm71ed.qmd")) {
    const fs::path custom = platform::ResolveCaseInsensitive(data_dir / "klm71ed.txt");
    if (auto s = Compile(custom, data_dir / "klm71ed.qmd"); !s) return s;
  }
  if (!keep("beKLM71.dat")) {
    if (auto s = Copy(share_dir / "beKLM71.dat", data_dir / "beKLM71.dat"); !s) return s;
  }
  return {};
}

}  // namespace klm::paperdata
