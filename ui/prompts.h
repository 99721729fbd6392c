// What a dialog asks of the user or the desktop outside its own controls:
// message boxes, open/save dialogs, the folder browser, pop-up menus, help,
// and starting programs or documents. One seam, so a test answers it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "resources/dialog_template.h"

namespace klm::ui {

struct FileDialogOptions {
  std::string title;
  // Pairs of description and patterns, "Text files (*.txt)" and "*.txt;*.text",
  // as the platform's filter strings ("a|b|c|d|", '|' or NUL separated) give them.
  std::vector<std::pair<std::string, std::string>> filters;
  std::string default_extension;       // "txt": added to a name without one
  std::filesystem::path initial;       // folder or file to start with
  bool create_prompt = false;          // open: offer to create a missing file
  bool overwrite_prompt = false;       // save: ask before replacing
  bool file_must_exist = false;
};

// Splits a platform filter string ("Text (*.txt)|*.txt|All|*.*|", with '|' or
// NUL between the parts) into FileDialogOptions::filters.
std::vector<std::pair<std::string, std::string>> ParseFilterString(std::string_view filter);

// Owned by a view; every call is modal over the view's window.
class Prompts {
 public:
  virtual ~Prompts() = default;
  // Answers IDOK, IDCANCEL, IDYES, IDNO, ... (dialog_codes.h). An empty
  // caption means the platform's default ("Error").
  virtual int MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) = 0;
  // Nothing when the user cancels.
  virtual std::optional<std::filesystem::path> OpenFile(const FileDialogOptions& options) = 0;
  virtual std::optional<std::filesystem::path> SaveFile(const FileDialogOptions& options) = 0;
  virtual std::optional<std::filesystem::path> BrowseForFolder(const std::string& title) = 0;
  // The command id of the chosen item, 0 when dismissed. `x`, `y` in the
  // window's client coordinates.
  virtual int PopupMenu(const res::MenuItem& popup, int x, int y) = 0;
};

// The desktop: programs, documents, help. Shared by all views of a process.
class Shell {
 public:
  virtual ~Shell() = default;
  // The "open" verb: starts `file` (a program, a document or a URL) with
  // `parameters` (one command-line string) in `directory`. Does not wait.
  // ERROR_FILE_NOT_FOUND when `file` is missing.
  virtual Status Open(const std::string& file, const std::string& parameters, const std::filesystem::path& directory,
                      int show = 10) = 0;
  // Shows topic `context` of the help book `book` (0: the book's start page).
  // A missing book does nothing and answers ERROR_FILE_NOT_FOUND.
  virtual Status ShowHelp(const std::filesystem::path& book, std::uint32_t context) = 0;
  virtual void CloseHelp() = 0;
};

}  // namespace klm::ui
