// The driver's version dialog ("DLG_VERSION"): model, version, platform and
// copyright texts from the resource library, the driver's picture stretched
// into its placeholder and a white frame around it.
#pragma once

#include <string>

#include "ui/dialog_controller.h"

namespace klm::ui {

class VersionDialog : public DialogController {
 public:
  // `picture`: bitmap 101 of the driver library (may be empty: no picture).
  explicit VersionDialog(Picture picture) : picture_(std::move(picture)) {}
  bool OnInit() override;

  static constexpr const char* kModelName = "Koravel LM-7100";
  static constexpr const char* kVersion = "6.2";
  static constexpr const char* kPlatform = "Vista";
  static constexpr const char* kYears = "2009-2025";

 private:
  Picture picture_;
};

}  // namespace klm::ui
