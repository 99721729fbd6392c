#include "utility/port_switch.h"

#include "platform/spooler.h"

namespace klm::utility {

Status SetPortOfPrinter(std::string_view printer_name, std::string_view port) {
  auto opened = platform::OpenPrinter(printer_name, platform::PRINTER_ALL_ACCESS);
  if (!opened) return opened.error();
  platform::ScopedPrinter printer(*opened);
  return platform::SetPrinterPort(printer.get(), port);
}

ScopedFilePort::ScopedFilePort(std::string_view printer_name, std::string_view own_port, PortKind kind)
    : printer_(printer_name), own_port_(own_port) {
  if (kind != PortKind::Com) return;
  switch_status_ = SetPortOfPrinter(printer_, "FILE:");
  switched_ = switch_status_.ok();
}

ScopedFilePort::~ScopedFilePort() { (void)Restore(); }

Status ScopedFilePort::Restore() {
  if (!switched_) return {};
  switched_ = false;
  return SetPortOfPrinter(printer_, own_port_);
}

}  // namespace klm::utility
