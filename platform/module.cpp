#include "platform/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

// Under the address sanitizer a library stays mapped after its last free
// (its static destructors still run), so a leak inside it is reported with
// its name instead of as an unknown module.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKeepMappedFlag = RTLD_NODELETE;
#else
constexpr int kKeepMappedFlag = 0;
#endif

namespace klm::platform {

namespace fs = std::filesystem;

struct Module {
  fs::path path;
  void* handle = nullptr;  // null for a data module
  int references = 1;
};

namespace {

// Recursive: a library's attach may load further libraries, as on the
// platform whose loader lock it stands in for.
std::recursive_mutex& Lock() {
  static std::recursive_mutex mutex;
  return mutex;
}
std::map<fs::path, Module*>& CodeModules() {
  static std::map<fs::path, Module*> modules;
  return modules;
}
std::set<Module*>& DataModules() {
  static std::set<Module*> modules;
  return modules;
}

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

bool IsElf(const fs::path& p) {
  char magic[4] = {};
  std::ifstream in(p, std::ios::binary);
  return in.read(magic, 4) && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' &&
         magic[3] == 'F';
}

std::vector<fs::path> SearchFolders(const fs::path& name) {
  if (name.has_parent_path()) return {name.parent_path()};
  std::vector<fs::path> folders;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) folders.push_back(exe.parent_path());
  folders.push_back(fs::current_path(ec));
  return folders;
}

// The file a module name stands for. `want_elf`: an exact match only counts
// when it is a shared object (code); data modules take any file.
std::optional<fs::path> FindModuleFile(const fs::path& path, bool want_elf) {
  fs::path name = FromWindowsPath(path.string());
  std::string ext = name.extension().string();
  bool windows_ext = EqualsIgnoringAsciiCase(ext, ".dll") || EqualsIgnoringAsciiCase(ext, ".exe");
  fs::path leaf = name.filename();
  fs::path native = windows_ext ? fs::path(name.stem().string() + ".so")
                                : fs::path(leaf.string() + ".so");
  for (const fs::path& folder : SearchFolders(name)) {
    fs::path exact = ResolveCaseInsensitive(folder / leaf);
    if (IsRegularFile(exact) && (!want_elf || IsElf(exact))) return exact;
    if (windows_ext || ext.empty()) {
      fs::path so = ResolveCaseInsensitive(folder / native);
      if (IsRegularFile(so)) return so;
    }
  }
  return std::nullopt;
}

Error NotFound(const fs::path& path) {
  return MakeError(ERROR_MOD_NOT_FOUND, "module \"" + path.string() +
                                            "\" not found (nor a .so of that name beside it)");
}

}  // namespace

Result<Module*> LoadModule(const fs::path& path) {
  std::lock_guard lock(Lock());
  auto file = FindModuleFile(path, true);
  if (!file) return NotFound(path);
  std::error_code ec;
  fs::path key = fs::weakly_canonical(*file, ec);
  if (ec) key = *file;
  if (auto it = CodeModules().find(key); it != CodeModules().end()) {
    ++it->second->references;
    return it->second;
  }
  if (!IsElf(key))
    return MakeError(ERROR_BAD_EXE_FORMAT, "\"" + key.string() + "\" is not a shared object");
  void* handle = ::dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMappedFlag);
  if (handle == nullptr) {
    std::string why = ::dlerror();
    // A missing dependency is "module not found" on the platform too.
    std::uint32_t code = why.find("cannot open shared object") != std::string::npos
                             ? ERROR_MOD_NOT_FOUND
                             : ERROR_BAD_EXE_FORMAT;
    return MakeError(code, "cannot load \"" + key.string() + "\": " + why);
  }
  auto* module = new Module{key, handle, 1};
  CodeModules()[key] = module;  // registered first, so attach may load it again
  if (auto entry = reinterpret_cast<DllMainFunction>(::dlsym(handle, "KlmDllMain"))) {
    if (entry(module, kDllProcessAttach) == 0) {
      CodeModules().erase(key);
      ::dlclose(handle);
      delete module;
      return MakeError(ERROR_DLL_INIT_FAILED,
                       "\"" + key.string() + "\" refused to initialise (KlmDllMain returned 0)");
    }
  }
  return module;
}

Result<Module*> LoadModuleAsData(const fs::path& path) {
  std::lock_guard lock(Lock());
  auto file = FindModuleFile(path, false);
  if (!file) return NotFound(path);
  auto* module = new Module{*file, nullptr, 1};
  DataModules().insert(module);
  return module;
}

Status FreeModule(Module* module) {
  std::lock_guard lock(Lock());
  if (module != nullptr && DataModules().erase(module) == 1) {
    delete module;
    return {};
  }
  // Found by address, so a stale pointer is refused without being read.
  auto it = CodeModules().begin();
  while (it != CodeModules().end() && it->second != module) ++it;
  if (module == nullptr || it == CodeModules().end())
    return MakeError(ERROR_INVALID_HANDLE, "FreeModule: not a loaded module");
  if (--module->references > 0) return {};
  if (auto entry = reinterpret_cast<DllMainFunction>(::dlsym(module->handle, "KlmDllMain")))
    entry(module, kDllProcessDetach);
  CodeModules().erase(it);
  ::dlclose(module->handle);
  delete module;
  return {};
}

void* GetSymbol(Module* module, const char* name) {
  if (module == nullptr || module->handle == nullptr || name == nullptr) return nullptr;
  return ::dlsym(module->handle, name);
}

fs::path ModulePath(const Module* module) { return module ? module->path : fs::path(); }

}  // namespace klm::platform
