// klm71_rescomp SOURCE_FOLDER OUTPUT_FILE : builds a resource library.
// klm71_rescomp --list LIBRARY            : lists what a library holds.
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "resources/resource_library.h"
#include "resources/tools/sources.h"

namespace {

int List(const char* path) {
  auto lib = klm::res::ResourceLibrary::Open(path);
  if (!lib) {
    std::fprintf(stderr, "%s\n", lib.error().message.c_str());
    return 1;
  }
  for (std::uint32_t id : lib->StringIds()) std::printf("string %u: %s\n", id, lib->LoadString(id)->c_str());
  for (const auto& key : lib->DialogKeys()) {
    auto d = lib->Dialog(key);
    std::printf("dialog %s: \"%s\" %dx%d, %zu controls\n", key.ToString().c_str(), d ? d->title.c_str() : "?",
                d ? d->width : 0, d ? d->height : 0, d ? d->controls.size() : 0);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--list") return List(argv[2]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: klm71_rescomp SOURCE_FOLDER OUTPUT_FILE | --list LIBRARY\n");
    return 2;
  }
  auto bytes = klm::res::tools::CompileLibraryFolder(argv[1]);
  if (!bytes) {
    std::fprintf(stderr, "klm71_rescomp: %s\n", bytes.error().message.c_str());
    return 1;
  }
  klm::Status written = klm::platform::WriteFileAtomic(argv[2], *bytes);
  if (!written) {
    std::fprintf(stderr, "klm71_rescomp: %s: %s\n", argv[2], written.error().message.c_str());
    return 1;
  }
  return 0;
}
