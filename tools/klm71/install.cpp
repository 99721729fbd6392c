#include "tools/klm71/install.h"

#include <unistd.h>

#include <system_error>

#include "paper-data/paper_data_install.h"
#include "platform/machine_root.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace klm::cli {

namespace fs = std::filesystem;

namespace {

// A built file and the names it is installed under in the driver's data
// folder. The driver and its programs ask for Windows names ("KLM71F.DLL",
// "KLM71ut.exe"); the module loader and process start map "X.dll" and
// "X.exe" to the native file "X.so" and "X".
struct PackageFile {
  const char* built;
  std::vector<const char*> installed;
};

const PackageFile kProgramFiles[] = {
    {"libklm71_platform.so", {"libklm71_platform.so"}},
    {"KLM71ui.so", {"KLM71ui.so"}},
    {"KLM71F.so", {"KLM71F.so"}},
    {"KLM71cv", {"KLM71cv"}},
    {"KLM71ct", {"KLM71ct"}},
    {"KLM71ut", {"KLM71ut"}},
    // Resource libraries, read as data files.
    {"KLM71r.dll", {"KLM71r.dll"}},
    {"KLM71ui.res", {"KLM71ui.res"}},
    {"KLM71ct.dll", {"KLM71ct.dll"}},
    {"KLM71ut.dll", {"KLM71ut.dll"}},
};

// Files of share/klm71 copied as they are (the paper data has its own step).
const char* kDataFiles[] = {"KLM71v.chm"};

Status CopyInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  // Replace through a temporary name: a program may be running from the old file.
  fs::path temp = to;
  temp += ".new";
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, to, ec);
  if (ec) {
    fs::remove(temp);
    return MakeError(ERROR_ACCESS_DENIED, "cannot install " + to.string() + ": " + ec.message());
  }
  return {};
}

Status WriteDefaults() {
  using platform::Hive;
  using platform::RegValue;
  if (auto s = platform::RegCreateKey(Hive::LocalMachine, kDriverKey); !s) return s;
  // Values an installer sets once; an existing value is the administrator's.
  const std::pair<const char*, RegValue> defaults[] = {
      {"Status TimeOut", RegValue::Dword(5)},
      {"Print TimeOut", RegValue::Dword(120)},
      {"MonitorDisplay", RegValue::Dword(0)},
      {"CustomLabel", RegValue::Dword(1)},
      {"BaudrateList", RegValue::StringUtf8("9600,19200,38400,57600,115200")},
  };
  for (const auto& [name, value] : defaults) {
    if (platform::RegQueryValue(Hive::LocalMachine, kDriverKey, name)) continue;
    if (auto s = platform::RegSetValue(Hive::LocalMachine, kDriverKey, name, value); !s) return s;
  }
  return {};
}

}  // namespace

fs::path ProgramDirectory() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : self.parent_path();
}

Result<InstallReport> Install(const fs::path& package_dir) {
  InstallReport report;
  fs::path target = platform::DriverDataDirectory();
  std::error_code ec;
  fs::create_directories(target, ec);
  fs::create_directories(platform::SystemDirectory(), ec);
  if (ec) return MakeError(ERROR_ACCESS_DENIED, "cannot create " + target.string() + ": " + ec.message());

  for (const auto& file : kProgramFiles) {
    fs::path from = package_dir / file.built;
    if (!fs::exists(from)) {
      report.skipped.push_back(std::string(file.built) + ": not built");
      continue;
    }
    for (const char* name : file.installed) {
      if (auto s = CopyInto(from, target / name); !s) return s.error();
      report.placed.push_back(name);
    }
  }
  // The system's own libraries the driver asks for by the system path (the
  // spooler's impersonation calls, the common property sheet), with the
  // platform library they link.
  for (const char* name : {"spoolss.so", "compstui.so", "libklm71_platform.so"}) {
    if (!fs::exists(package_dir / name)) continue;
    if (auto s = CopyInto(package_dir / name, platform::SystemDirectory() / name); !s) return s.error();
    report.placed.push_back(std::string(name) + " (system)");
  }

  fs::path share = package_dir.parent_path() / "share" / "klm71";
  for (const char* name : kDataFiles) {
    fs::path from = share / name;
    if (!fs::exists(from)) {
      report.skipped.push_back(std::string(name) + ": not in " + share.string());
      continue;
    }
    if (auto s = CopyInto(from, target / name); !s) return s.error();
    report.placed.push_back(name);
  }

  // Library, compiler, compiled presets and the shipped data files; the
  // user's custom formats and default settings survive a reinstall.
  if (auto s = paperdata::InstallPaperData(target, package_dir, share); !s) return s.error();
  report.placed.push_back("paper data (KLM71i6.so, KLM71i3.so, KLM71pc, klm71ad.qmd, klm71ed.qmd, data files)");

  platform::DriverInfo driver;
  driver.name = kDriverName;
  driver.driver_path = (target / "KLM71.so").string();  // the rendering half, not part of this package
  driver.data_file = (target / "klm71ad.qmd").string();
  driver.config_file = (target / "KLM71ui.so").string();
  driver.help_file = (target / "KLM71v.chm").string();
  driver.dependent_files = {"KLM71i6.dll", "KLM71r.dll", "KLM71F.dll"};
  if (auto s = platform::AddPrinterDriver(driver); !s) return s.error();
  if (auto s = WriteDefaults(); !s) return s.error();
  return report;
}

}  // namespace klm::cli
