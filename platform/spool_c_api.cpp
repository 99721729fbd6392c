#include "platform/spool_c_api.h"

#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "platform/spooler.h"

namespace {

std::string Narrow(const char16_t* text) {
  return text ? klm::platform::Utf16ToUtf8(text) : std::string();
}

using klm::platform::PrinterHandle;

}  // namespace

extern "C" {

int KlmOpenPrinterW(const char16_t* name, void** printer, uint32_t access) {
  if (!name || !printer) {
    klm::SetLastError(klm::ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto opened = klm::platform::OpenPrinter(Narrow(name), access);
  if (!opened) {
    *printer = nullptr;
    klm::SetLastError(opened.error().code);
    return 0;
  }
  *printer = *opened;
  return 1;
}

int KlmClosePrinter(void* printer) {
  if (!printer) {
    klm::SetLastError(klm::ERROR_INVALID_HANDLE);
    return 0;
  }
  klm::platform::ClosePrinter(static_cast<PrinterHandle*>(printer));
  return 1;
}

uint32_t KlmGetPrinterDataW(void* printer, const char16_t* value_name, uint32_t* type, uint8_t* data, uint32_t size,
                            uint32_t* needed) {
  if (!printer || !value_name || !needed) return klm::ERROR_INVALID_PARAMETER;
  auto value = klm::platform::GetPrinterData(static_cast<PrinterHandle*>(printer), Narrow(value_name));
  if (!value) {
    klm::SetLastError(value.error().code);
    return value.error().code;
  }
  *needed = static_cast<uint32_t>(value->data.size());
  if (type) *type = static_cast<uint32_t>(value->type);
  if (size < value->data.size() || (!data && !value->data.empty())) return klm::ERROR_MORE_DATA;
  if (!value->data.empty()) std::memcpy(data, value->data.data(), value->data.size());
  return klm::ERROR_SUCCESS;
}

uint32_t KlmSetPrinterDataW(void* printer, const char16_t* value_name, uint32_t type, const uint8_t* data,
                            uint32_t size) {
  if (!printer || !value_name || (!data && size)) return klm::ERROR_INVALID_PARAMETER;
  klm::platform::RegValue value{static_cast<klm::platform::RegType>(type),
                                std::vector<uint8_t>(data, data + size)};
  auto s = klm::platform::SetPrinterData(static_cast<PrinterHandle*>(printer), Narrow(value_name), value);
  if (!s) {
    klm::SetLastError(s.error().code);
    return s.error().code;
  }
  return klm::ERROR_SUCCESS;
}

uint32_t KlmGetLastError(void) { return klm::GetLastError(); }
void KlmSetLastError(uint32_t code) { klm::SetLastError(code); }

}  // extern "C"
