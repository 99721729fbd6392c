// The per-sheet working object of KLM71ui. A property sheet (document or
// printer) creates one context; it owns a private arena from which every
// block of the sheet comes (the context itself included), so destroying the
// arena releases everything at once.
//
// A context travels through the property-sheet service as an opaque value
// and comes back to our entry points; it is accepted only when both self
// markers still hold its own address (AcceptContext).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>

#include "driver-ui/arena.h"
#include "driver-ui/devmode_layout.h"
#include "driver-ui/paper_catalogue.h"
#include "driver-ui/printer_data.h"
#include "driver-ui/user_formats.h"

namespace klm::platform {
struct Module;
struct PrinterHandle;
}

namespace klm::driver {

inline constexpr std::size_t kFormNameChars64 = 64;
inline constexpr std::size_t kOptionLabelBufferBytes = 16 * 1024;

struct PrinterContext;

// The preferences dialog's object, made with each context when a maker is
// registered (the dialog library registers itself). `destroy` runs before the
// arena goes, so it may still use the context; it must release what the
// dialog holds outside the arena (graphics objects, subclassed windows).
struct DialogHooks {
  void* (*create)(PrinterContext& context) = nullptr;  // nullptr: creation failed
  void (*destroy)(PrinterContext& context, void* dialog) = nullptr;
};
void SetDialogHooks(const DialogHooks& hooks);

struct PrinterContext {
  PrinterContext* self;             // validity marker: the context's own address
  void* sheetWindow;                // current property page, updated by every page callback
  std::uint32_t mayChange;          // 1 when the user may change settings
  platform::PrinterHandle* printer; // the entry point's handle; not owned
  Arena* heap;                      // owns this context and every block below
  void* sheetCallback;              // the property-sheet service's callback
  void* sheetHandle;                // and its handle for this sheet
  const char16_t* driverName;       // PRINTER_INFO_2 driver name, in the arena
  PrinterData printerData;
  Devmode working;                  // the settings being edited
  Devmode snapshot;                 // taken when a document sheet opens and after each accept
  Devmode driverDefault;            // defaults before any merge; its paper is the fallback id

  PaperCatalogue catalogue;

  // Papers as ListPapers lists them, filled by the sheet builders.
  std::int32_t formCount;
  char16_t (*formNames)[kFormNameChars64];
  std::uint16_t* formIds;
  std::uint16_t* formValues;

  // The user label formats, owned by the preferences dialog; written back at apply.
  UserFormat userFormats[kMaxUserFormatsRead];
  UserFormat userFormatsWorking[kMaxUserFormatsRead];
  std::int32_t userFormatCount;

  // The printer-properties page's option items and their label text.
  void* optionItems;
  char16_t* optionLabels;

  platform::Module* resourceLibrary;  // while a document sheet is open

  // As edited on the printer-properties page.
  std::uint32_t statusTimeOut;
  std::uint32_t printTimeOut;
  std::uint32_t monitorDisplay;
  std::uint32_t setMedia;

  // Taken when a document sheet opens and kept up to date by the dialog.
  std::uint32_t SavedExtLength;
  std::uint16_t LastFeedDots;
  std::int32_t LengthTextChanged;
  std::int32_t FeedTextChanged;
  std::int16_t SavedPaperLength;
  std::uint32_t SavedLengthTenthMm;
  std::int16_t LastYResolution;

  std::uint32_t applied;  // 1 after the user accepted the document sheet
  std::uint32_t mode;     // mode bits of the call that opened the sheet

  void* dialog;           // the preferences dialog's object (DialogHooks)
  void* dialogWindow;

  PrinterContext* selfEnd;  // second validity marker
};
// The arena only holds blocks it never has to destroy.
static_assert(std::is_trivially_copyable_v<PrinterContext> &&
              std::is_trivially_destructible_v<PrinterContext>);

// The context for `printer`, with the driver defaults, the printer's own
// default DEVMODE and then `devmode` (the caller's bytes, if any) merged into
// `working`. ERROR_* with the reason when the printer cannot be asked, the
// catalogue cannot be read or memory runs out; nothing is left behind then.
Result<PrinterContext*> CreateContext(platform::PrinterHandle* printer,
                                      std::optional<std::span<const std::uint8_t>> devmode);

// Destroys the dialog's object, then the arena with the context in it.
// False for a context AcceptContext refuses (nothing is touched then).
bool DestroyContext(PrinterContext* context);

// What an entry point accepts back from the property-sheet service: both
// self markers equal to the address and, for document sheets, an entry
// table. nullptr otherwise.
enum class SheetKind { Document, Printer };
PrinterContext* AcceptContext(void* user_data, SheetKind kind);

}  // namespace klm::driver
