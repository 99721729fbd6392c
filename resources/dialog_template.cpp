#include "resources/dialog_template.h"

#include "resources/byte_io.h"

namespace klm::res {

namespace {
constexpr std::uint16_t kDialogVersion = 1;
constexpr int kMaxMenuDepth = 8;

void WriteMenuItems(ByteWriter& w, const std::vector<MenuItem>& items) {
  w.U16(static_cast<std::uint16_t>(items.size()));
  for (const MenuItem& item : items) {
    w.I32(item.id);
    std::uint8_t flags = 0;
    if (!item.children.empty()) flags |= 1;
    if (item.separator) flags |= 2;
    w.U8(flags);
    w.Str(item.text);
    if (!item.children.empty()) WriteMenuItems(w, item.children);
  }
}

bool ReadMenuItems(ByteReader& r, std::vector<MenuItem>& out, int depth) {
  if (depth > kMaxMenuDepth) return false;
  auto count = r.U16();
  if (!count) return false;
  for (std::uint16_t i = 0; i < *count; ++i) {
    MenuItem item;
    auto id = r.I32();
    auto flags = r.U8();
    auto text = r.Str();
    if (!id || !flags || !text || (*flags & ~3u) != 0) return false;
    item.id = *id;
    item.separator = (*flags & 2) != 0;
    item.text = std::move(*text);
    if (*flags & 1) {
      if (!ReadMenuItems(r, item.children, depth + 1)) return false;
    }
    out.push_back(std::move(item));
  }
  return true;
}
}  // namespace

const ControlTemplate* DialogTemplate::Find(std::int32_t id) const {
  for (const ControlTemplate& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

std::vector<std::uint8_t> SerializeDialog(const DialogTemplate& d) {
  ByteWriter w;
  w.U16(kDialogVersion);
  w.Str(d.title);
  w.U32(d.flags);
  w.I32(d.width);
  w.I32(d.height);
  w.Str(d.font_family);
  w.I32(d.font_pixels);
  w.U16(static_cast<std::uint16_t>(d.controls.size()));
  for (const ControlTemplate& c : d.controls) {
    w.I32(c.id);
    w.U8(static_cast<std::uint8_t>(c.kind));
    w.U32(c.flags);
    w.I32(c.rect.x);
    w.I32(c.rect.y);
    w.I32(c.rect.w);
    w.I32(c.rect.h);
    w.I32(c.buddy);
    w.Str(c.text);
    w.U16(static_cast<std::uint16_t>(c.items.size()));
    for (const std::string& item : c.items) w.Str(item);
  }
  return w.Take();
}

std::optional<DialogTemplate> ParseDialog(std::span<const std::uint8_t> bytes) {
  ByteReader r(bytes);
  if (r.U16().value_or(0) != kDialogVersion) return std::nullopt;
  DialogTemplate d;
  d.title = r.Str().value_or("");
  d.flags = r.U32().value_or(0);
  d.width = r.I32().value_or(0);
  d.height = r.I32().value_or(0);
  d.font_family = r.Str().value_or("");
  d.font_pixels = r.I32().value_or(0);
  const std::uint16_t count = r.U16().value_or(0);
  if (r.failed()) return std::nullopt;
  for (std::uint16_t i = 0; i < count; ++i) {
    ControlTemplate c;
    c.id = r.I32().value_or(0);
    const std::uint8_t kind = r.U8().value_or(0xFF);
    if (kind >= kControlKindCount) return std::nullopt;
    c.kind = static_cast<ControlKind>(kind);
    c.flags = r.U32().value_or(0);
    c.rect.x = r.I32().value_or(0);
    c.rect.y = r.I32().value_or(0);
    c.rect.w = r.I32().value_or(0);
    c.rect.h = r.I32().value_or(0);
    c.buddy = r.I32().value_or(0);
    c.text = r.Str().value_or("");
    const std::uint16_t items = r.U16().value_or(0);
    for (std::uint16_t k = 0; k < items && !r.failed(); ++k) c.items.push_back(r.Str().value_or(""));
    if (r.failed()) return std::nullopt;
    d.controls.push_back(std::move(c));
  }
  if (r.failed() || !r.AtEnd()) return std::nullopt;
  return d;
}

std::vector<std::uint8_t> SerializeMenu(const MenuTemplate& menu) {
  ByteWriter w;
  WriteMenuItems(w, menu.items);
  return w.Take();
}

std::optional<MenuTemplate> ParseMenu(std::span<const std::uint8_t> bytes) {
  ByteReader r(bytes);
  MenuTemplate m;
  if (!ReadMenuItems(r, m.items, 0) || !r.AtEnd()) return std::nullopt;
  return m;
}

}  // namespace klm::res
