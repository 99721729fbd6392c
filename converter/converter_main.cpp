// KLM71cv: "KLM71cv input output" turns a compiled paper-data (QMD) file into
// the printer registration command file. Nothing is shown: exit code -1 for a
// missing or too long argument, 0 otherwise, and the caller learns success
// only from the output file.
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "converter/command_line.h"
#include "converter/registration_file.h"
#include "converter/trace.h"
#include "paper-data/paper_data_reader.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/machine_root.h"

namespace {

namespace fs = std::filesystem;
using klm::converter::Trace;
using klm::converter::TraceError;

// The driver directory is asked for into 244 bytes, leaving room for
// "\3\KLM71i3.dll" in a 260-byte path.
constexpr std::size_t kDriverDirectoryLimit = 244;

std::optional<fs::path> LibraryPath() {
  const std::string directory = klm::platform::PrinterDriverDirectory().string();
  if (directory.empty() || directory.size() >= kDriverDirectoryLimit) return std::nullopt;
  return klm::platform::DriverDataDirectory() / klm::paperdata::kLibraryName32;
}

// The argument is ANSI text written for the other platform.
std::optional<fs::path> OutputPath(const std::string& ansi) {
  auto wide = klm::platform::AnsiToUtf16(ansi);
  if (!wide || wide->empty()) return std::nullopt;
  return klm::platform::FromWindowsPath(klm::platform::Utf16ToUtf8(*wide));
}

// The editor judges success by the output file alone and never deletes it, so
// a file left by an earlier run must not outlive a failed conversion.
void DiscardStaleOutput(const std::optional<fs::path>& output) {
  if (!output) return;
  const fs::path target = klm::platform::ResolveCaseInsensitive(*output);
  std::error_code ec;
  if (fs::is_regular_file(fs::symlink_status(target, ec)) && fs::remove(target, ec))
    Trace("-- removed the output of an earlier run.\r\n");
}

bool ModelAccepted(const klm::paperdata::PaperDataSnapshot& snapshot) {
  Trace("GetModelInfo start.\r\n");
  Trace("-- HeapAlloc success.\r\n");
  if (!snapshot.model_ok) {
    Trace("GetModelInfo failed.");
    Trace("-- HeapFree.\r\n");
    Trace("GetModelInfo failed.\r\n");
    return false;
  }
  Trace("-- QMD_GetModel success.\r\n");
  const bool accepted = snapshot.model.bySeriesCode == '5' && snapshot.model.byModelCode == '1';
  if (!accepted) Trace("** ERROR: Invalid Model.");
  Trace("-- HeapFree.\r\n");
  Trace(accepted ? "GetModelInfo success.\r\n" : "GetModelInfo failed.\r\n");
  return accepted;
}

void TraceLevel(const klm::paperdata::PaperLevelData& level) {
  char line[64];
  std::snprintf(line, sizeof line, "Need=%u, PpCnt=%u", level.needed, level.count);
  Trace(line);
  const std::uint64_t walked =
      std::uint64_t{level.count} * klm::paperdata::RecordSize(level.level);
  if (level.needed == 0 || level.count == 0 || level.needed < walked) {
    Trace("** ERROR: QMD_EnumPapers request size is wrong.");
  } else if (!level.filled) {
    TraceError("** ERROR: EnumPapers failed.", level.fill_error);
  } else {
    Trace("-- QMD_EnumPapers success.\r\n");
  }
}

bool WriteRegistrationFile(const klm::paperdata::PaperDataSnapshot& snapshot,
                           const std::optional<fs::path>& output) {
  for (const auto& level : snapshot.levels) TraceLevel(level);
  auto file = klm::converter::BuildRegistrationFile(snapshot.levels[0], snapshot.levels[1]);
  if (!file) {
    Trace(file.error().message + "\r\n");
    TraceError("** ERROR: qmd2bin failed.", file.error().code);
    return false;
  }
  if (!output) {
    TraceError("** ERROR: qmd2bin failed.", klm::ERROR_INVALID_NAME);
    return false;
  }
  // Through a temporary file in the same folder: a failed write leaves no
  // file that looks complete.
  auto written = klm::platform::WriteFileAtomic(*output, *file);
  if (!written) {
    Trace(written.error().message + "\r\n");
    TraceError("** ERROR: qmd2bin failed.", written.error().code);
    return false;
  }
  return true;
}

bool Convert(const std::string& input, const std::optional<fs::path>& output) {
  Trace("QMD_Open start.\r\n");
  const std::optional<fs::path> library = LibraryPath();
  if (!library) {
    Trace("** ERROR: Failed to create QMD file path.\r\n");
    return false;
  }
  Trace("-- lib path = ");
  Trace(library->string() + "\r\n");

  constexpr std::array<std::uint32_t, 2> kLevels = {klm::paperdata::kPaperLevel4,
                                                    klm::paperdata::kPaperLevel1};
  auto snapshot = klm::paperdata::ReadPaperDataA(*library, input, kLevels);
  if (!snapshot) {
    const std::uint32_t code = snapshot.error().code;
    if (code == klm::ERROR_MOD_NOT_FOUND || code == klm::ERROR_BAD_EXE_FORMAT) {
      TraceError("** ERROR: LoadLibrary failed.", code);
    } else if (code == klm::ERROR_PROC_NOT_FOUND || code == klm::ERROR_DLL_INIT_FAILED) {
      Trace("-- LoadLibrary success.\r\n");
      TraceError("** ERROR: initialize failed.", code);
    } else {
      Trace("-- LoadLibrary success.\r\n");
      Trace("-- Initialize success.\r\n");
      TraceError("** ERROR: QMD_Open failed.", code);
      Trace("QMD_Open failed.\r\n\r\n");
    }
    Trace(snapshot.error().message + "\r\n");
    return false;
  }
  Trace("-- LoadLibrary success.\r\n");
  Trace("-- Initialize success.\r\n");
  Trace("QMD_Open success.\r\n\r\n");

  bool written = false;
  if (ModelAccepted(*snapshot)) {
    written = WriteRegistrationFile(*snapshot, output);
    Trace(written ? "GetQMDInfo success.\r\n" : "GetQMDInfo failed.\r\n");
  }
  // The reader has closed the file and unloaded the library by now.
  Trace("QMD_Close start.\r\n");
  Trace("QMD_Close success.\r\n\r\n");
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return -1;
  const std::optional<std::string> input = klm::converter::TakePathArgument(argv[1]);
  if (!input) return -1;
  const std::optional<std::string> output = klm::converter::TakePathArgument(argv[2]);
  if (!output) return -1;
  try {
    const std::optional<fs::path> output_path = OutputPath(*output);
    if (!Convert(*input, output_path)) DiscardStaleOutput(output_path);
  } catch (const std::exception& e) {
    // Out of memory, most likely; the missing output file says it failed.
    Trace(std::string("** ERROR: ") + e.what() + "\r\n");
  }
  return 0;
}
