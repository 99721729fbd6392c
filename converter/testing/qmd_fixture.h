// Test helpers shared by the converter's and the driver-information library's
// tests: small QMD source texts compiled by the real KLM71pc, a machine root
// whose driver folder holds a paper-data library, and a way to run a program
// with extra environment, a working folder and a file-size limit.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/machine_root.h"

namespace klm::testing {

inline std::filesystem::path BuildBin() {
  const char* bin = std::getenv("KLM71_BUILD_BIN");
  return bin != nullptr ? std::filesystem::path(bin) : std::filesystem::path(".");
}

struct RunOptions {
  std::vector<std::pair<std::string, std::string>> env;  // added to this process's
  std::filesystem::path working_directory;                // empty: this process's
  long file_size_limit = -1;                              // bytes; -1: none
};

// The program's exit status (0..255), or -1 when it could not run to an end.
inline int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const RunOptions& options = {}) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    for (const auto& [name, value] : options.env) ::setenv(name.c_str(), value.c_str(), 1);
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0)
      ::_exit(126);
    if (options.file_size_limit >= 0) {
      // Writes past the limit then fail with EFBIG instead of killing the program.
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                   static_cast<rlim_t>(options.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0 && std::getenv("KLM71_CV_TRACE") == nullptr) ::dup2(null_fd, 2);
    std::vector<char*> argv;
    std::string name = program.string();
    argv.push_back(name.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(name.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A QMD source text: the model section and papers, each a set of key
// overrides over a plain 62 mm continuous tape.
struct QmdSource {
  std::map<std::string, std::string> model;
  std::vector<std::map<std::string, std::string>> papers;
};

inline std::string FormatQmdSource(const QmdSource& source) {
  static const std::vector<std::pair<std::string, std::string>> kModel = {
      {"bySeriesCode", "5"}, {"byModelCode", "1"}, {"dmDeviceName", "Koravel LM-7100"},
      {"dwHeadPinNum", "1296"}, {"dwDeviceAbility01", "0x00000003"},
      {"dwDeviceAbility02", "0x00000000"}, {"wMinCopies", "1"}, {"wMaxCopies", "999"},
      {"wMinCutEveryNum", "1"}, {"wMaxCutEveryNum", "99"}, {"nDefaultPaperSize", "366"},
      {"nDefaultPaperLength", "1528"}, {"nDefaultPaperLengthRes", "1805"},
      {"wResolutionNum", "1"}, {"wResolutions", "300,300"}};
  static const std::vector<std::pair<std::string, std::string>> kPaper = {
      {"szPaperName_mm", "62mm"}, {"szPaperName_inch", "2.4\""},
      {"szPaperWidthString_inch", "2.44\""}, {"szPaperLengthString_inch", ""},
      {"nType", "0xa"}, {"nPaperSize", "343"}, {"nPaperWidth", "620"},
      {"nImageAreaWidth", "580"}, {"nPaperWidthRes", "732"}, {"nImageAreaWidthRes", "696"},
      {"nPaperLength", "0"}, {"nImageAreaLength", "0"}, {"nPaperLengthRes", "0"},
      {"nImageAreaLengthRes", "0"}, {"nPhysicalOffsetX", "18"}, {"nPhysicalOffsetY", "18"},
      {"wPinOffsetLeft", "564"}, {"wPinOffsetRight", "36"}, {"nMaxFeed", "1500"},
      {"nMaxLength", "30000"}, {"nMinLength", "250"}, {"wSplit", "0"},
      {"nClipInfoLeft", "0"}, {"nClipInfoRight", "0"}, {"nClipInfoTop", "0"},
      {"nClipInfoBottom", "0"}, {"nVirtualOffsetX", "0"}, {"nVirtualOffsetY", "0"},
      {"nCompatiblePaperSizes", ""}, {"dwPaperAbility01", "0x00000000"},
      {"dwPaperAbility02", "0x00000000"}, {"byReserved001", "0"}, {"byEnergyRank", "2"},
      {"lblPitchDot", "0"}, {"markNoChkValu", "187"}, {"nSensorID", "0"},
      {"byRollWidMm", "62"}, {"byHeadDivide", "0x06"}, {"nDieStartPlus", "0"},
      {"nDieStartRevPlus", "0"}, {"wDieStartFwdPlus", "0"}, {"nAfterFeedPlus", "0"},
      {"wPafMediaID", "343"}, {"PresetBlkPos1_1", "1,564,696,0,0"},
      {"PresetBlkPos2_1", "2,564,348,0,0"}, {"PresetBlkPos2_2", "2,912,348,0,0"},
      {"PresetBlkPos3_1", "3,564,232,0,0"}, {"PresetBlkPos3_2", "3,796,232,0,0"},
      {"PresetBlkPos3_3", "3,1028,232,0,0"}, {"szSizeMM", "62mm"}, {"szSizeIN", "2.4\""},
      {"MediaAtrInfo", "1,0,0,0"}, {"reserved_12_", "18,0,0,0,0,0,0,0,0,0,0,0"}};
  auto section = [](std::string& out, const std::string& name, const auto& keys,
                    const std::map<std::string, std::string>& overrides) {
    out += "[" + name + "]\r\n";
    for (const auto& [key, value] : keys) {
      auto it = overrides.find(key);
      out += key + "=" + (it != overrides.end() ? it->second : value) + "\r\n";
    }
    out += "\r\n";
  };
  std::string text =
      "[Version]\r\nFormatVersion=1.00\r\nModelVersion=1.00\r\nOutputFileName=KLM71ad.qmd\r\n\r\n";
  section(text, "Model", kModel, source.model);
  for (std::size_t k = 0; k < source.papers.size(); ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "Paper%02zu", k);
    section(text, name, kPaper, source.papers[k]);
  }
  return text;
}

// Compiles the source with the real KLM71pc into `qmd`. The compiler's log
// comes back in `log` for the failure message.
inline bool CompileQmd(const QmdSource& source, const std::filesystem::path& qmd,
                       std::string* log = nullptr) {
  const std::filesystem::path txt = std::filesystem::path(qmd).replace_extension(".txt");
  const std::filesystem::path log_path = std::filesystem::path(qmd).replace_extension(".log");
  std::ofstream(txt, std::ios::binary) << FormatQmdSource(source);
  const int status =
      RunProgram(BuildBin() / "KLM71pc", {"/S", "/L=" + log_path.string(), txt.string(), qmd.string()});
  if (log != nullptr) {
    std::ifstream in(log_path);
    log->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return status == 0 && std::filesystem::exists(qmd);
}

// Places `library` (a built paper-data library) in the driver folder of the
// current machine root under the name the 32-bit callers load.
inline void InstallPaperDataLibrary(const std::filesystem::path& library) {
  const std::filesystem::path folder = platform::DriverDataDirectory();
  std::filesystem::create_directories(folder);
  std::filesystem::create_symlink(library, folder / "KLM71i3.so");
}

}  // namespace klm::testing
