#include "resources/resource_library.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"
#include "platform/module.h"
#include "resources/byte_io.h"

namespace klm::res {

namespace {
constexpr std::string_view kMagic = "KLMRES";
constexpr std::uint16_t kVersion = 1;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

Error BadFormat(const std::string& origin, const std::string& why) {
  return MakeError(ERROR_BAD_EXE_FORMAT, "resource library " + origin + ": " + why);
}
}  // namespace

// ---- builder ----

void LibraryBuilder::AddString(std::uint32_t id, std::string_view language, std::string_view text) {
  entries_.push_back({ResType::String, std::string(language), id, {}, {text.begin(), text.end()}});
}

void LibraryBuilder::AddDialog(const DialogTemplate& dialog) {
  entries_.push_back({ResType::Dialog, {}, static_cast<std::uint32_t>(dialog.number), dialog.name,
                      SerializeDialog(dialog)});
}

void LibraryBuilder::AddBitmap(std::uint32_t id, std::span<const std::uint8_t> bmp) {
  entries_.push_back({ResType::Bitmap, {}, id, {}, {bmp.begin(), bmp.end()}});
}

void LibraryBuilder::AddMenu(std::string_view name, const MenuTemplate& menu) {
  entries_.push_back({ResType::Menu, {}, 0, std::string(name), SerializeMenu(menu)});
}

void LibraryBuilder::AddData(std::string_view name, std::span<const std::uint8_t> bytes) {
  entries_.push_back({ResType::Data, {}, 0, std::string(name), {bytes.begin(), bytes.end()}});
}

std::vector<std::uint8_t> LibraryBuilder::Serialize() const {
  ByteWriter w;
  w.Raw(kMagic);
  w.U16(kVersion);
  w.U32(static_cast<std::uint32_t>(entries_.size()));
  for (const Entry& e : entries_) {
    w.U16(static_cast<std::uint16_t>(e.type));
    w.Str(e.language);
    w.U32(e.id);
    w.Str(e.name);
    w.Blob(e.data);
  }
  return w.Take();
}

// ---- reader ----

Result<ResourceLibrary> ResourceLibrary::Open(const std::filesystem::path& path) {
  const std::filesystem::path resolved = platform::ResolveCaseInsensitive(path);
  auto bytes = platform::ReadWholeFile(resolved);
  if (!bytes) {
    return MakeError(bytes.error().code, "resource library " + path.string() + " cannot be read: " +
                                             bytes.error().message);
  }
  return FromBytes(std::move(*bytes), resolved.string());
}

Result<ResourceLibrary> ResourceLibrary::LoadAsData(const std::filesystem::path& path) {
  auto module = platform::LoadModuleAsData(path);
  if (!module) return module.error();
  const std::filesystem::path file = platform::ModulePath(*module);
  (void)platform::FreeModule(*module);  // the bytes are read whole; no handle needs to stay
  return Open(file);
}

Result<ResourceLibrary> ResourceLibrary::FromBytes(std::vector<std::uint8_t> bytes, std::string origin) {
  ResourceLibrary lib;
  lib.bytes_ = std::move(bytes);
  lib.origin_ = std::move(origin);
  ByteReader r(lib.bytes_);
  auto magic = r.Bytes(kMagic.size());
  if (!magic || !std::equal(magic->begin(), magic->end(), kMagic.begin()))
    return BadFormat(lib.origin_, "does not start with \"KLMRES\"");
  auto version = r.U16();
  if (!version || *version != kVersion)
    return BadFormat(lib.origin_, "format version " + std::to_string(version.value_or(0)) + ", expected 1");
  const std::uint32_t count = r.U32().value_or(0);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto type = r.U16();
    auto language = r.Str();
    auto id = r.U32();
    auto name = r.Str();
    auto length = r.U32();
    if (r.failed()) break;
    const std::size_t offset = lib.bytes_.size() - r.remaining();
    if (!r.Bytes(*length)) break;
    const Slice slice{offset, *length};
    switch (static_cast<ResType>(*type)) {
      case ResType::String:
        lib.strings_[{*id, *language}] = slice;
        break;
      case ResType::Dialog:
        if (name->empty())
          lib.numbered_dialogs_[static_cast<std::int32_t>(*id)] = slice;
        else
          lib.named_dialogs_[Upper(*name)] = slice;
        break;
      case ResType::Bitmap:
        lib.bitmaps_[*id] = slice;
        break;
      case ResType::Menu:
        lib.menus_[Upper(*name)] = slice;
        break;
      case ResType::Data:
        lib.data_[Upper(*name)] = slice;
        break;
      default:
        return BadFormat(lib.origin_, "entry " + std::to_string(i) + " has unknown type " + std::to_string(*type));
    }
  }
  if (r.failed()) return BadFormat(lib.origin_, "is cut short");
  if (!r.AtEnd()) return BadFormat(lib.origin_, "has bytes after its last entry");
  return lib;
}

std::optional<std::string> ResourceLibrary::LoadString(std::uint32_t id) const {
  for (const std::string& lang : {language_, std::string(kBaseLanguage)}) {
    auto it = strings_.find({id, lang});
    if (it != strings_.end()) {
      auto v = View(it->second);
      return std::string(v.begin(), v.end());
    }
  }
  // Any language beats none: a library built without the base text still reads.
  auto it = strings_.lower_bound({id, std::string()});
  if (it != strings_.end() && it->first.first == id) {
    auto v = View(it->second);
    return std::string(v.begin(), v.end());
  }
  return std::nullopt;
}

std::optional<std::u16string> ResourceLibrary::LoadStringUtf16(std::uint32_t id) const {
  auto s = LoadString(id);
  if (!s) return std::nullopt;
  return Utf8ToUtf16(*s);
}

std::size_t ResourceLibrary::LoadString(std::uint32_t id, std::span<char16_t> buffer) const {
  if (buffer.empty()) return 0;
  auto s = LoadStringUtf16(id);
  if (!s) {
    buffer[0] = 0;
    return 0;
  }
  const std::size_t n = std::min(s->size(), buffer.size() - 1);
  std::copy_n(s->begin(), n, buffer.begin());
  buffer[n] = 0;
  return n;
}

std::optional<DialogTemplate> ResourceLibrary::Dialog(const DialogKey& key) const {
  std::optional<Slice> slice;
  if (key.name.empty()) {
    if (auto it = numbered_dialogs_.find(key.number); it != numbered_dialogs_.end()) slice = it->second;
  } else if (auto it = named_dialogs_.find(Upper(key.name)); it != named_dialogs_.end()) {
    slice = it->second;
  }
  if (!slice) return std::nullopt;
  auto dialog = ParseDialog(View(*slice));
  if (!dialog) return std::nullopt;
  dialog->name = key.name;
  dialog->number = key.number;
  auto resolve = [this](std::string& text) {
    if (text.size() < 2 || text[0] != '@') return;
    std::uint32_t id = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i])) || id > 100000000) return;
      id = id * 10 + static_cast<std::uint32_t>(text[i] - '0');
    }
    text = LoadString(id).value_or(text);
  };
  resolve(dialog->title);
  for (ControlTemplate& c : dialog->controls) {
    resolve(c.text);
    for (std::string& item : c.items) resolve(item);
  }
  return dialog;
}

std::optional<MenuTemplate> ResourceLibrary::Menu(std::string_view name) const {
  auto it = menus_.find(Upper(name));
  if (it == menus_.end()) return std::nullopt;
  return ParseMenu(View(it->second));
}

std::optional<std::span<const std::uint8_t>> ResourceLibrary::Bitmap(std::uint32_t id) const {
  auto it = bitmaps_.find(id);
  if (it == bitmaps_.end()) return std::nullopt;
  return View(it->second);
}

std::optional<std::span<const std::uint8_t>> ResourceLibrary::Data(std::string_view name) const {
  auto it = data_.find(Upper(name));
  if (it == data_.end()) return std::nullopt;
  return View(it->second);
}

std::vector<std::uint32_t> ResourceLibrary::StringIds() const {
  std::vector<std::uint32_t> ids;
  for (const auto& [key, slice] : strings_)
    if (ids.empty() || ids.back() != key.first) ids.push_back(key.first);
  return ids;
}

std::vector<DialogKey> ResourceLibrary::DialogKeys() const {
  std::vector<DialogKey> keys;
  for (const auto& [name, slice] : named_dialogs_) keys.emplace_back(name);
  for (const auto& [number, slice] : numbered_dialogs_) keys.emplace_back(number);
  return keys;
}

// ---- text helpers ----

std::string FormatOne(std::string_view format, std::string_view arg) {
  std::string out;
  bool used = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < format.size() && (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '-' ||
                                 format[j] == '.' || format[j] == 'l' || format[j] == 'h'))
      ++j;
    if (j < format.size() && std::string_view("sSdiu").find(format[j]) != std::string_view::npos) {
      if (!used) out += arg;
      used = true;
      i = j;
      continue;
    }
    out += '%';  // not a directive we know: keep the text as written
  }
  return out;
}

std::u16string CutAcceleratorGroup(std::u16string text) {
  if (text.empty()) return text;
  std::size_t cut = 0;
  if (text.back() == u')')
    cut = 4;
  else if (text.back() == u':')
    cut = 5;
  if (cut != 0 && text.size() >= cut) text.resize(text.size() - cut);
  return text;
}


}  // namespace klm::res
