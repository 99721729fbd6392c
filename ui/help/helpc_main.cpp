// klm71_helpc FOLDER OUT: builds the help book from its source folder.
#include <cstdio>

#include "platform/files.h"
#include "ui/help/help_book.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: klm71_helpc SOURCE_FOLDER OUTPUT_FILE\n");
    return 2;
  }
  auto bytes = klm::ui::BuildHelpBookFromFolder(argv[1]);
  if (!bytes) {
    std::fprintf(stderr, "klm71_helpc: %s\n", bytes.error().message.c_str());
    return 1;
  }
  if (auto written = klm::platform::WriteFileAtomic(argv[2], *bytes); !written) {
    std::fprintf(stderr, "klm71_helpc: %s\n", written.error().message.c_str());
    return 1;
  }
  return 0;
}
