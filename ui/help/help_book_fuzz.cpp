// The help book is a file in the driver's folder: any bytes must be refused
// or read, never crash the reader.
#include <cstddef>
#include <cstdint>

#include "ui/help/help_book.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto book = klm::ui::HelpBook::Parse({data, size});
  if (!book) return 0;
  for (std::uint32_t context : {0u, 1000u, 1003u, 4711u}) (void)book->Page(book->TopicFor(context));
  return 0;
}
