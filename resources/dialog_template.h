// Dialog templates: a window's title, size and controls with the numeric ids
// the dialogs' controllers address. Geometry is in pixels at 96 dpi, relative
// to the dialog's client area. Toolkit-free: the Qt view builds widgets from
// it, the headless test view builds its control table from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace klm::res {

enum class ControlKind : std::uint8_t {
  Static = 0,       // text label
  Picture = 1,      // placeholder a controller draws pictures into
  Button = 2,       // push button
  DefButton = 3,    // default push button (Enter)
  CheckBox = 4,     // auto check box
  RadioButton = 5,  // auto radio button; grouped by kGroup
  GroupBox = 6,
  Edit = 7,
  ListBox = 8,
  ComboBox = 9,      // editable combo box
  DropDownList = 10, // combo box without edit field
  UpDown = 11,
  HScrollBar = 12,
  VScrollBar = 13,
  TrackBar = 14,
  ProgressBar = 15,
  Tab = 16,
  Frame = 17,        // etched or coloured frame
  Custom = 18,       // an empty area (child dialogs are placed into it)
};
inline constexpr std::uint8_t kControlKindCount = 19;

// Control flags.
inline constexpr std::uint32_t kDisabled = 0x1;
inline constexpr std::uint32_t kHidden = 0x2;
inline constexpr std::uint32_t kGroup = 0x4;       // starts a radio group
inline constexpr std::uint32_t kReadOnly = 0x8;
inline constexpr std::uint32_t kMultiline = 0x10;
inline constexpr std::uint32_t kPassword = 0x20;
inline constexpr std::uint32_t kNumber = 0x40;     // edit accepts digits only
inline constexpr std::uint32_t kSort = 0x80;       // list/combo keep items sorted
inline constexpr std::uint32_t kTriState = 0x100;  // check box with a third state
inline constexpr std::uint32_t kCentre = 0x200;    // centred text
inline constexpr std::uint32_t kRight = 0x400;     // right-aligned text
inline constexpr std::uint32_t kSunken = 0x800;    // sunken border (statics)

// Dialog flags.
inline constexpr std::uint32_t kChildDialog = 0x1;  // a page/sheet, not a window of its own
inline constexpr std::uint32_t kContextHelp = 0x2;  // title bar "?" button

struct Rect {
  std::int32_t x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect&) const = default;
};

struct ControlTemplate {
  std::int32_t id = -1;  // -1: a control nobody addresses (labels)
  ControlKind kind = ControlKind::Static;
  std::uint32_t flags = 0;
  Rect rect;
  std::int32_t buddy = 0;  // up-down: the id of the edit it steps (0 none)
  std::string text;        // UTF-8; "&" marks the mnemonic as on the platform
  std::vector<std::string> items;  // initial list/combo items
};

struct DialogTemplate {
  std::string name;          // "DLG_VERSION"; empty for a numbered template
  std::int32_t number = 0;   // 400; 0 for a named template
  std::string title;
  std::uint32_t flags = 0;
  std::int32_t width = 0, height = 0;
  std::string font_family;   // empty: the toolkit's default
  std::int32_t font_pixels = 0;
  std::vector<ControlTemplate> controls;

  // The first control with this id, or nothing.
  const ControlTemplate* Find(std::int32_t id) const;
};

// The template's bytes inside a resource library (version 1, little-endian):
//   u16 version; str title; u32 flags; i32 width; i32 height; str font; i32 font pixels;
//   u16 count; per control: i32 id; u8 kind; u32 flags; i32 x, y, w, h; i32 buddy;
//   str text; u16 item count; str items...
// where str is a u16 byte length followed by UTF-8. Name and number are the
// entry's, not part of these bytes.
std::vector<std::uint8_t> SerializeDialog(const DialogTemplate& dialog);
// Nothing when the bytes are cut, carry an unknown version or control kind,
// or have bytes left over.
std::optional<DialogTemplate> ParseDialog(std::span<const std::uint8_t> bytes);

// Pop-up menus ("POPMENU"): items with command ids, nested pop-ups.
struct MenuItem {
  std::int32_t id = 0;
  std::string text;
  bool separator = false;
  std::vector<MenuItem> children;  // non-empty: a pop-up
};
struct MenuTemplate {
  std::vector<MenuItem> items;
};
// u16 count; per item: i32 id; u8 flags (1 pop-up, 2 separator); str text;
// pop-ups then carry their own list. Nesting is limited to 8 levels.
std::vector<std::uint8_t> SerializeMenu(const MenuTemplate& menu);
std::optional<MenuTemplate> ParseMenu(std::span<const std::uint8_t> bytes);

}  // namespace klm::res
