// compstui: the common property-sheet service as a library of the system
// directory. Drivers' sheet runners load it and call CommonPropertySheetUIW.
//
// The sheet shows in Qt when there is a display (or QT_QPA_PLATFORM names a
// windowing platform); without one the call fails. KLM71_SHEET_HEADLESS=ok|cancel runs it without a window and
// presses that button at once, for scripted runs.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "ui/platform_shell.h"
#include "ui/sheet_host/headless_sheet.h"
#include "ui/sheet_host/sheet_host.h"

#ifdef KLM71_SHEET_QT
#include <QApplication>

#include "ui/qt/qt_shell.h"
#include "ui/sheet_host/qt/qt_sheet.h"
#endif

namespace {

namespace sh = klm::ui::sheet;

// A window someone can answer. Qt's offscreen and minimal platforms have
// nobody to close the sheet, which would then never return.
bool HasDisplay() {
  if (const char* qpa = std::getenv("QT_QPA_PLATFORM"); qpa && *qpa) {
    const std::string_view platform(qpa);
    return platform.substr(0, 9) != "offscreen" && platform.substr(0, 7) != "minimal";
  }
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* v = std::getenv(name); v && *v) return true;
  return false;
}

std::int32_t Run(void* owner, klm::cpsui::PropSheetUiFn sheet, std::intptr_t lparam, std::uint32_t* result) {
  klm::ui::PlatformShell shell;
  if (const char* mode = std::getenv("KLM71_SHEET_HEADLESS"); mode && *mode) {
    const int button = std::string_view(mode) == "ok" ? klm::ui::IDOK : klm::ui::IDCANCEL;
    sh::HeadlessSheet headless(&shell);
    headless.OnShow([button](sh::HeadlessSheet& s) { s.Frame()->Click(button); });
    return sh::RunPropertySheet(headless, owner, sheet, lparam, result);
  }
#ifdef KLM71_SHEET_QT
  std::unique_ptr<QApplication> own_app;
  if (QApplication::instance() == nullptr) {
    // Without a display Qt would end the process; the caller hears failure instead.
    if (!HasDisplay()) return klm::cpsui::ERR_CPSUI_GETLASTERROR;
    static int argc = 1;
    static char name[] = "compstui";
    static char* argv[] = {name, nullptr};
    own_app = std::make_unique<QApplication>(argc, argv);
  }
  klm::ui::qt::QtShell qt_shell;  // help in the package's help window
  sh::QtSheet display(qt_shell);
  return sh::RunPropertySheet(display, owner, sheet, lparam, result);
#else
  (void)HasDisplay;
  return klm::cpsui::ERR_CPSUI_GETLASTERROR;
#endif
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t CommonPropertySheetUIW(
    void* owner, klm::cpsui::PropSheetUiFn sheet, std::intptr_t lparam, std::uint32_t* result) {
  try {
    return Run(owner, sheet, lparam, result);
  } catch (...) {
    return klm::cpsui::ERR_CPSUI_GETLASTERROR;
  }
}
