// The numbers dialogs exchange with their callers and the user: command ids,
// message-box styles and answers, scroll codes, check states. The values are
// the platform's, because controllers compare them with the numbers the
// dialogs' documentation gives.
#pragma once

#include <cstdint>

namespace klm::ui {

// Command ids of the standard buttons and message-box answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDCLOSE = 8;
inline constexpr int IDHELP = 9;

// Message-box styles: one button set, optionally one icon.
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_OKCANCEL = 0x1;
inline constexpr std::uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr std::uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_RETRYCANCEL = 0x5;
inline constexpr std::uint32_t MB_ICONERROR = 0x10;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_ICONWARNING = 0x30;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr std::uint32_t MB_TYPEMASK = 0xF;
inline constexpr std::uint32_t MB_ICONMASK = 0xF0;

// Check states.
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;
inline constexpr int BST_INDETERMINATE = 2;

// Scroll codes of scroll bars, track bars and up-down controls.
enum class ScrollCode : int {
  LineUp = 0,  // also line left
  LineDown = 1,
  PageUp = 2,
  PageDown = 3,
  ThumbPosition = 4,
  ThumbTrack = 5,
  Top = 6,  // also left
  Bottom = 7,
  EndScroll = 8,
};

// Notification codes of a command from a control.
enum class Notify : int {
  Clicked,      // button, check box, radio button, menu item
  DoubleClick,  // list box
  EditChange,   // edit text changed (also when the program sets it)
  EditUpdate,   // edit text about to be shown (before EditChange)
  SetFocus,
  KillFocus,
  SelChange,    // list or combo selection changed by the user
  DropDown,     // combo list about to open
  ComboEdit,    // text typed into an editable combo box
};

// Standard show states for programs started through the shell.
inline constexpr int SW_SHOWDEFAULT = 10;

}  // namespace klm::ui
