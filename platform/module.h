// Loading the package's libraries at run time. A name written for the other
// platform ("KLM71F.DLL", "X.exe") finds the native shared object "KLM71F.so"
// beside it; names match without regard to ASCII case.
#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/result.h"

namespace klm::platform {

struct Module;  // owned by this library; valid until its last FreeModule

// A library may export `extern "C" int KlmDllMain(klm::platform::Module* self,
// std::uint32_t reason)`: called with kDllProcessAttach after the first load
// (returning 0 refuses the load) and kDllProcessDetach before the last unload.
inline constexpr std::uint32_t kDllProcessDetach = 0;
inline constexpr std::uint32_t kDllProcessAttach = 1;
using DllMainFunction = int (*)(Module* self, std::uint32_t reason);

// Loads the library; loading the same file again counts a reference (attach
// runs once). A bare name is looked for beside the program, then in the
// current folder. ERROR_MOD_NOT_FOUND when no file fits, ERROR_BAD_EXE_FORMAT
// when it is no loadable shared object, ERROR_DLL_INIT_FAILED when attach refuses.
Result<Module*> LoadModule(const std::filesystem::path& path);

// Records a resource library without running any of its code: the exact file
// if it exists, else the ".so" of the same name. Each call gives a new handle.
// ERROR_MOD_NOT_FOUND when neither exists.
Result<Module*> LoadModuleAsData(const std::filesystem::path& path);

// Drops one reference; the last one runs detach and unloads.
// ERROR_INVALID_HANDLE for a null, unknown or already freed module.
Status FreeModule(Module* module);

// The exported symbol, or nullptr (also for data modules and null).
void* GetSymbol(Module* module, const char* name);

// The file the module was loaded from; empty for null.
std::filesystem::path ModulePath(const Module* module);

}  // namespace klm::platform
