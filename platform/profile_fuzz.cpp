// Profile text and code-page bytes come from files anyone can edit.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/codepage.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)klm::platform::FindProfileValue(text, "Model", "nType");
  (void)klm::platform::FindProfileValue(text, "", "");
  for (std::uint32_t code_page : {1252u, 932u, 936u, 949u, 950u, 65001u}) {
    auto wide = klm::platform::ToUtf16(text, code_page);
    if (wide) (void)klm::platform::FromUtf16(*wide, code_page);
  }
  (void)klm::platform::Utf16ToUtf8(klm::platform::Utf8ToUtf16(text));
  return 0;
}
