#include "paper-data/paper_data_reader.h"

#include "platform/module.h"
#include "platform/win_errors.h"

namespace klm::paperdata {
namespace {

// No catalogue comes near this; a larger answer is a broken library.
constexpr std::uint64_t kMaxNeeded = 16u << 20;

template <typename Table, typename InitFn, typename PathChar>
Result<PaperDataSnapshot> Read(const std::filesystem::path& library, const char* entry,
                               const PathChar* path, std::span<const std::uint32_t> levels) {
  auto module = platform::LoadModule(library);
  if (!module) return module.error();
  struct Unload {
    platform::Module* m;
    ~Unload() { (void)platform::FreeModule(m); }
  } unload{*module};

  auto init = reinterpret_cast<InitFn>(platform::GetSymbol(*module, entry));
  if (init == nullptr) {
    return MakeError(ERROR_PROC_NOT_FOUND, library.string() + " has no entry " + entry);
  }
  Table table{};
  table.size = sizeof(Table);
  if (init(&table) == 0 || table.QMD_Open == nullptr || table.QMD_Close == nullptr ||
      table.QMD_GetModel == nullptr || table.QMD_EnumPapers == nullptr) {
    return MakeError(ERROR_DLL_INIT_FAILED, std::string(entry) + " refused the table");
  }
  QmdHandle handle = nullptr;
  SetLastError(ERROR_SUCCESS);
  if (table.QMD_Open(&handle, path) == 0) {
    const std::uint32_t code = GetLastError();
    return MakeError(code == 0 ? ERROR_GEN_FAILURE : code, "QMD_Open refused the paper data");
  }
  PaperDataSnapshot snapshot;
  std::uint32_t needed = 0;
  snapshot.model_ok =
      table.QMD_GetModel(handle, kModelLevel, &snapshot.model, sizeof(ModelRecord), &needed) != 0;
  if (!snapshot.model_ok) snapshot.model = ModelRecord{};
  for (std::uint32_t level : levels) {
    PaperLevelData data;
    data.level = level;
    SetLastError(ERROR_SUCCESS);
    data.query_ok = table.QMD_EnumPapers(handle, level, nullptr, 0, &data.needed, &data.count) != 0;
    data.query_error = GetLastError();
    const std::uint64_t walked = std::uint64_t{data.count} * RecordSize(level);
    if (data.count != 0 && data.needed != 0 && RecordSize(level) != 0 && data.needed >= walked &&
        data.needed <= kMaxNeeded) {
      data.bytes.assign(data.needed, 0);
      std::uint32_t needed2 = 0;
      std::uint32_t count2 = 0;
      SetLastError(ERROR_SUCCESS);
      data.filled = table.QMD_EnumPapers(handle, level, data.bytes.data(), data.needed, &needed2,
                                         &count2) != 0 &&
                    count2 == data.count;
      data.fill_error = data.filled ? 0 : GetLastError();
      data.bytes.resize(data.filled ? static_cast<std::size_t>(walked) : 0);
    }
    snapshot.levels.push_back(std::move(data));
  }
  table.QMD_Close(handle);
  return snapshot;
}

}  // namespace

Result<PaperDataSnapshot> ReadPaperDataW(const std::filesystem::path& library,
                                         std::u16string_view qmd_path,
                                         std::span<const std::uint32_t> levels) {
  const std::u16string path(qmd_path);
  return Read<PaperDataTable, QmdInitializeWFn>(library, kInitializeWName, path.c_str(), levels);
}

Result<PaperDataSnapshot> ReadPaperDataA(const std::filesystem::path& library,
                                         std::string_view ansi_qmd_path,
                                         std::span<const std::uint32_t> levels) {
  const std::string path(ansi_qmd_path);
  return Read<PaperDataTableA, QmdInitializeAFn>(library, kInitializeAName, path.c_str(), levels);
}

}  // namespace klm::paperdata
