// A COM printer is held by the spooler; for a serial exchange the utility
// points the printer at "FILE:" and gives it its own port back afterwards.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"
#include "utility/port_kind.h"

namespace klm::utility {

// Switches a kind-2 printer to "FILE:" on construction and back to
// `own_port` exactly once: at Restore() or at destruction, whichever comes
// first, on every way out. Other kinds are left alone. A switch that failed
// is not undone (the printer never left its port).
class ScopedFilePort {
 public:
  ScopedFilePort(std::string_view printer_name, std::string_view own_port, PortKind kind);
  ~ScopedFilePort();
  ScopedFilePort(const ScopedFilePort&) = delete;
  ScopedFilePort& operator=(const ScopedFilePort&) = delete;

  bool switched() const { return switched_; }
  // The result of switching to "FILE:" (success when nothing was to switch).
  const Status& switch_status() const { return switch_status_; }
  // Gives the printer its own port back; later calls do nothing.
  Status Restore();

 private:
  std::string printer_;
  std::string own_port_;
  bool switched_ = false;
  Status switch_status_;
};

// Sets a printer's port (the printer opened with full access).
Status SetPortOfPrinter(std::string_view printer_name, std::string_view port);

}  // namespace klm::utility
