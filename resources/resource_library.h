// Resource libraries of the package ("KLM71r.dll", "KLM71ct.dll",
// "KLM71ut.dll"): string tables by id with translations, dialog templates by
// name or number, bitmaps by id, pop-up menus and named binary resources,
// bundled into one file of our own format. Readable without any toolkit: the
// driver core loads strings from it too.
//
// File layout (little-endian):
//   "KLMRES" u16 version (1); u32 entry count; entries, each:
//   u16 type; str language ("" for neutral); u32 id; str name; u32 length; data
// where str is a u16 byte length and UTF-8. Types follow the platform's
// resource type numbers so the kinds read familiarly.
#pragma once

#include "platform/codepage.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "resources/dialog_template.h"

namespace klm::res {

enum class ResType : std::uint16_t { Bitmap = 2, Menu = 4, Dialog = 5, String = 6, Data = 10 };

// The language every library must carry; others fall back to it per string.
inline constexpr std::string_view kBaseLanguage = "en";

// Names a template: by name ("DLG_VERSION") or by number (400).
struct DialogKey {
  std::string name;
  std::int32_t number = 0;
  DialogKey(const char* n) : name(n) {}
  DialogKey(std::string n) : name(std::move(n)) {}
  DialogKey(std::int32_t n) : number(n) {}
  std::string ToString() const { return name.empty() ? std::to_string(number) : name; }
};

// Builds a library in memory; the resource compiler and tests use it.
class LibraryBuilder {
 public:
  void AddString(std::uint32_t id, std::string_view language, std::string_view text);
  void AddDialog(const DialogTemplate& dialog);
  void AddBitmap(std::uint32_t id, std::span<const std::uint8_t> bmp);
  void AddMenu(std::string_view name, const MenuTemplate& menu);
  void AddData(std::string_view name, std::span<const std::uint8_t> bytes);
  std::vector<std::uint8_t> Serialize() const;

 private:
  struct Entry {
    ResType type;
    std::string language;
    std::uint32_t id;
    std::string name;
    std::vector<std::uint8_t> data;
  };
  std::vector<Entry> entries_;
};

class ResourceLibrary {
 public:
  // The library file at `path`; its file name matches without regard to
  // ASCII case, as modules load on the platform. ERROR_FILE_NOT_FOUND when
  // missing, ERROR_BAD_EXE_FORMAT when the bytes are not a library.
  static Result<ResourceLibrary> Open(const std::filesystem::path& path);
  // The library as the programs load it, "as a data file": a bare name
  // ("KLM71ut.dll") is looked for beside the program, then in the current
  // folder; a path names the file (any letter case). ERROR_MOD_NOT_FOUND when
  // no file fits.
  static Result<ResourceLibrary> LoadAsData(const std::filesystem::path& path);
  // ERROR_BAD_EXE_FORMAT for anything but a whole, well-formed library.
  static Result<ResourceLibrary> FromBytes(std::vector<std::uint8_t> bytes, std::string origin = "memory");

  // Chooses the translation LoadString prefers ("de"); strings the language
  // lacks come in the base language.
  void SetLanguage(std::string_view language) { language_ = language; }
  const std::string& language() const { return language_; }
  const std::string& origin() const { return origin_; }

  // The string in the chosen language, else the base language, else any.
  std::optional<std::string> LoadString(std::uint32_t id) const;
  std::optional<std::u16string> LoadStringUtf16(std::uint32_t id) const;
  // The platform's buffer form: copies at most buffer.size() - 1 UTF-16 units
  // and a terminating zero; answers the units copied, 0 when the id is missing
  // or the buffer is empty.
  std::size_t LoadString(std::uint32_t id, std::span<char16_t> buffer) const;

  // The template; texts of the form "@1234" are replaced by string 1234.
  std::optional<DialogTemplate> Dialog(const DialogKey& key) const;
  std::optional<MenuTemplate> Menu(std::string_view name) const;
  // The BMP file bytes of bitmap `id` (a view into the library).
  std::optional<std::span<const std::uint8_t>> Bitmap(std::uint32_t id) const;
  // A named binary resource; names match without regard to ASCII case.
  std::optional<std::span<const std::uint8_t>> Data(std::string_view name) const;

  std::vector<std::uint32_t> StringIds() const;
  std::vector<DialogKey> DialogKeys() const;

 private:
  struct Slice {
    std::size_t offset = 0, length = 0;
  };
  std::span<const std::uint8_t> View(Slice s) const { return std::span(bytes_).subspan(s.offset, s.length); }

  std::vector<std::uint8_t> bytes_;
  std::string origin_;
  std::string language_{kBaseLanguage};
  std::map<std::pair<std::uint32_t, std::string>, Slice> strings_;  // (id, language)
  std::map<std::string, Slice> named_dialogs_;                       // upper-case name
  std::map<std::int32_t, Slice> numbered_dialogs_;
  std::map<std::uint32_t, Slice> bitmaps_;
  std::map<std::string, Slice> menus_;  // upper-case name
  std::map<std::string, Slice> data_;   // upper-case name
};

// A one-argument printf of resource texts without handing them to printf (a
// translated text must not be able to crash us): the first directive ("%s",
// "%ls", "%d", "%u", "%i", with optional width) becomes `arg`, later ones
// become nothing, "%%" becomes "%". Texts without a directive come back as
// they are.
std::string FormatOne(std::string_view format, std::string_view arg);

// Drops a trailing accelerator group from an item title: a text ending in ")"
// loses its last four characters ("Print (&P)"), one ending in ":" its last
// five. A text shorter than the group it would lose is left whole.
std::u16string CutAcceleratorGroup(std::u16string text);

// UTF-8 <-> UTF-16; invalid sequences become U+FFFD.
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

}  // namespace klm::res
