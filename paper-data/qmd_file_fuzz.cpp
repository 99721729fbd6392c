// The compiled-file reader on arbitrary bytes: it either refuses them or
// accepts exactly what the writer would produce again. Each input is also
// tried with its checksum made right, so the checks behind it are reached.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "paper-data/qmd_file.h"

using namespace klm::paperdata;

namespace {
void Try(std::span<const std::uint8_t> bytes) {
  auto parsed = ParseQmd(bytes);
  if (!parsed) return;
  const auto again = SerializeQmd(*parsed);
  if (!std::equal(again.begin(), again.end(), bytes.begin(), bytes.end())) std::abort();
  for (const CompiledPaper& p : parsed->papers) (void)ToLevel1(p.record);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Try(std::span(data, size));
  if (size >= kQmdHeaderSize) {
    std::vector<std::uint8_t> sealed(data, data + size);
    std::uint32_t crc = Crc32(std::span(sealed).first(12));
    crc = Crc32(std::span(sealed).subspan(16), crc);
    std::memcpy(sealed.data() + 12, &crc, 4);
    Try(sealed);
  }
  return 0;
}
