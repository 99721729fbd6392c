// The paper-data library: one shared object serving both the wide and the
// ANSI flavour. Opening a preset file (prefix + "ad.qmd") also presents the
// custom formats of prefix + "ed.qmd" beside it, after the presets.
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "paper-data/qmd_file.h"
#include "paper-data/qmd_records.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/win_errors.h"

namespace klm::paperdata {
namespace {

struct OpenCatalogue {
  ModelRecord model{};
  std::vector<CompiledPaper> papers;
};

// Handles given out and not yet closed, so that a stale or invented handle is
// refused instead of followed.
std::mutex g_handles_mutex;
std::unordered_set<const OpenCatalogue*> g_handles;

bool Known(QmdHandle handle) {
  std::lock_guard lock(g_handles_mutex);
  return handle != nullptr && g_handles.count(static_cast<const OpenCatalogue*>(handle)) != 0;
}

std::int32_t Fail(std::uint32_t code) {
  SetLastError(code);
  return 0;
}

Result<CompiledQmd> ReadQmd(const std::filesystem::path& path) {
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return bytes.error();
  return ParseQmd(*bytes);
}

bool EndsWithIgnoringCase(const std::string& s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char a = s[s.size() - tail.size() + i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != tail[i]) return false;
  }
  return true;
}

std::int32_t OpenPath(QmdHandle* handle, const std::string& utf8_path) {
  if (handle == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *handle = nullptr;
  if (utf8_path.empty()) return Fail(ERROR_INVALID_PARAMETER);
  std::filesystem::path path = platform::FromWindowsPath(utf8_path);
  if (path.is_relative()) path = platform::DriverDataDirectory() / path;
  path = platform::ResolveCaseInsensitive(path);
  auto qmd = ReadQmd(path);
  if (!qmd) return Fail(qmd.error().code);
  auto catalogue = std::make_unique<OpenCatalogue>();
  catalogue->model = qmd->model;
  catalogue->papers = std::move(qmd->papers);
  const std::string name = path.filename().string();
  if (EndsWithIgnoringCase(name, "ad.qmd")) {
    // Custom formats are optional: a missing or damaged custom file, or one
    // made for another model, leaves the presets alone.
    const std::string custom = name.substr(0, name.size() - 6) + "ed.qmd";
    auto extra = ReadQmd(platform::ResolveCaseInsensitive(path.parent_path() / custom));
    if (extra && extra->model.bySeriesCode == catalogue->model.bySeriesCode &&
        extra->model.byModelCode == catalogue->model.byModelCode) {
      for (CompiledPaper& p : extra->papers) catalogue->papers.push_back(p);
    }
  }
  std::lock_guard lock(g_handles_mutex);
  g_handles.insert(catalogue.get());
  *handle = catalogue.release();
  SetLastError(ERROR_SUCCESS);
  return 1;
}

std::int32_t OpenW(QmdHandle* handle, const char16_t* path) {
  if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OpenPath(handle, platform::Utf16ToUtf8(path));
}

std::int32_t OpenA(QmdHandle* handle, const char* path) {
  if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto wide = platform::AnsiToUtf16(path);
  if (!wide) {
    if (handle != nullptr) *handle = nullptr;
    return Fail(ERROR_INVALID_NAME);
  }
  return OpenPath(handle, platform::Utf16ToUtf8(*wide));
}

std::int32_t Close(QmdHandle handle) {
  std::unique_ptr<OpenCatalogue> owned;
  {
    std::lock_guard lock(g_handles_mutex);
    auto it = g_handles.find(static_cast<const OpenCatalogue*>(handle));
    if (handle == nullptr || it == g_handles.end()) return Fail(ERROR_INVALID_HANDLE);
    g_handles.erase(it);
    owned.reset(static_cast<OpenCatalogue*>(handle));
  }
  SetLastError(ERROR_SUCCESS);
  return 1;
}

std::int32_t GetModel(QmdHandle handle, std::uint32_t level, void* buffer, std::uint32_t size,
                      std::uint32_t* needed) {
  if (!Known(handle)) return Fail(ERROR_INVALID_HANDLE);
  if (level != kModelLevel) return Fail(ERROR_INVALID_PARAMETER);
  if (needed != nullptr) *needed = sizeof(ModelRecord);
  if (buffer == nullptr || size < sizeof(ModelRecord)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, &static_cast<const OpenCatalogue*>(handle)->model, sizeof(ModelRecord));
  SetLastError(ERROR_SUCCESS);
  return 1;
}

std::int32_t EnumPapers(QmdHandle handle, std::uint32_t level, void* buffer, std::uint32_t size,
                        std::uint32_t* needed, std::uint32_t* count) {
  if (!Known(handle)) return Fail(ERROR_INVALID_HANDLE);
  const std::uint32_t record_size = RecordSize(level);
  if (record_size == 0) return Fail(ERROR_INVALID_PARAMETER);
  const auto& papers = static_cast<const OpenCatalogue*>(handle)->papers;
  // Always exactly count records: callers walk count records through a buffer
  // of `needed` bytes. At most 200 papers of 279 bytes, so no overflow.
  const auto n = static_cast<std::uint32_t>(papers.size());
  const std::uint32_t bytes = n * record_size;
  if (needed != nullptr) *needed = bytes;
  if (count != nullptr) *count = n;
  if (n == 0) {
    SetLastError(ERROR_SUCCESS);
    return 1;
  }
  if (buffer == nullptr || size < bytes) return Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (const CompiledPaper& p : papers) {
    if (level == kPaperLevel5) {
      std::memcpy(out, &p.record, sizeof p.record);
    } else if (level == kPaperLevel4) {
      std::memcpy(out, &p.reg, sizeof p.reg);
    } else {
      const PaperRecord1 r1 = ToLevel1(p.record);
      std::memcpy(out, &r1, sizeof r1);
    }
    out += record_size;
  }
  SetLastError(ERROR_SUCCESS);
  return 1;
}

template <typename Table>
std::int32_t Fill(Table* table, decltype(Table::QMD_Open) open) {
  if (table == nullptr || table->size != sizeof(Table)) return Fail(ERROR_INVALID_PARAMETER);
  table->QMD_Open = open;
  table->QMD_Close = &Close;
  table->QMD_GetModel = &GetModel;
  table->QMD_EnumPapers = &EnumPapers;
  return 1;
}

}  // namespace
}  // namespace klm::paperdata

// Both flavours fill the native table: its size word must be sizeof the table
// (40 on this 64-bit build).
extern "C" __attribute__((visibility("default"))) std::int32_t QMD_InitializeW(
    klm::paperdata::PaperDataTable* table) {
  return klm::paperdata::Fill(table, &klm::paperdata::OpenW);
}

extern "C" __attribute__((visibility("default"))) std::int32_t QMD_InitializeA(
    klm::paperdata::PaperDataTableA* table) {
  return klm::paperdata::Fill(table, &klm::paperdata::OpenA);
}
