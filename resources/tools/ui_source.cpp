// Designer .ui -> DialogTemplate.
#include <cctype>
#include <charconv>
#include <map>

#include "resources/tools/sources.h"
#include "resources/tools/xml_lite.h"

namespace klm::res::tools {

namespace {

const std::map<std::string, std::int32_t, std::less<>>& NamedIds() {
  static const std::map<std::string, std::int32_t, std::less<>> ids = {
      {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5},
      {"IDYES", 6}, {"IDNO", 7},    {"IDCLOSE", 8}, {"IDHELP", 9},
  };
  return ids;
}

std::optional<std::int32_t> ParseInt(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  std::int32_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// The value element inside <property>: <string>, <number>, <bool>, <enum>, <set>, <rect>, <font>.
const XmlElement* Property(const XmlElement& widget, std::string_view name) {
  for (const XmlElement* p : widget.Children("property"))
    if (p->Attr("name") == name && !p->children.empty()) return p->children.front().get();
  return nullptr;
}

std::optional<std::string> StringProperty(const XmlElement& w, std::string_view name) {
  const XmlElement* v = Property(w, name);
  if (!v) return std::nullopt;
  return v->text;
}

std::optional<bool> BoolProperty(const XmlElement& w, std::string_view name) {
  const XmlElement* v = Property(w, name);
  if (!v || v->name != "bool") return std::nullopt;
  return v->text == "true";
}

Result<Rect> Geometry(const XmlElement& w, std::string_view what) {
  const XmlElement* g = Property(w, "geometry");
  if (!g || g->name != "rect")
    return MakeError(ERROR_INVALID_DATA, std::string(what) + " (line " + std::to_string(w.line) +
                                             ") has no geometry; controls are placed absolutely, not in layouts");
  Rect r;
  auto field = [&](const char* n) { return g->Child(n) ? ParseInt(g->Child(n)->text).value_or(0) : 0; };
  r.x = field("x");
  r.y = field("y");
  r.w = field("width");
  r.h = field("height");
  return r;
}

struct KindGuess {
  ControlKind kind;
  bool known;
};

KindGuess KindOf(const XmlElement& w) {
  if (auto forced = StringProperty(w, "kind")) {
    static const std::map<std::string, ControlKind, std::less<>> by_name = {
        {"static", ControlKind::Static},     {"picture", ControlKind::Picture},
        {"button", ControlKind::Button},     {"defbutton", ControlKind::DefButton},
        {"checkbox", ControlKind::CheckBox}, {"radio", ControlKind::RadioButton},
        {"group", ControlKind::GroupBox},    {"edit", ControlKind::Edit},
        {"listbox", ControlKind::ListBox},   {"combobox", ControlKind::ComboBox},
        {"dropdown", ControlKind::DropDownList}, {"updown", ControlKind::UpDown},
        {"hscroll", ControlKind::HScrollBar},   {"vscroll", ControlKind::VScrollBar},
        {"trackbar", ControlKind::TrackBar},    {"progress", ControlKind::ProgressBar},
        {"tab", ControlKind::Tab},              {"frame", ControlKind::Frame},
        {"custom", ControlKind::Custom},
    };
    auto it = by_name.find(*forced);
    if (it == by_name.end()) return {ControlKind::Custom, false};
    return {it->second, true};
  }
  const std::string_view cls = w.Attr("class");
  const bool vertical = [&] {
    const XmlElement* o = Property(w, "orientation");
    return o && o->text.find("Vertical") != std::string::npos;
  }();
  if (cls == "QLabel") return {ControlKind::Static, true};
  if (cls == "QPushButton" || cls == "QToolButton")
    return {BoolProperty(w, "default").value_or(false) ? ControlKind::DefButton : ControlKind::Button, true};
  if (cls == "QCheckBox") return {ControlKind::CheckBox, true};
  if (cls == "QRadioButton") return {ControlKind::RadioButton, true};
  if (cls == "QGroupBox") return {ControlKind::GroupBox, true};
  if (cls == "QLineEdit" || cls == "QPlainTextEdit" || cls == "QTextEdit") return {ControlKind::Edit, true};
  if (cls == "QListWidget" || cls == "QListView") return {ControlKind::ListBox, true};
  if (cls == "QComboBox")
    return {BoolProperty(w, "editable").value_or(false) ? ControlKind::ComboBox : ControlKind::DropDownList, true};
  if (cls == "QSpinBox") return {ControlKind::UpDown, true};
  if (cls == "QScrollBar") return {vertical ? ControlKind::VScrollBar : ControlKind::HScrollBar, true};
  if (cls == "QSlider") return {ControlKind::TrackBar, true};
  if (cls == "QProgressBar") return {ControlKind::ProgressBar, true};
  if (cls == "QTabWidget" || cls == "QTabBar") return {ControlKind::Tab, true};
  if (cls == "QFrame") return {ControlKind::Frame, true};
  if (cls == "QWidget") return {ControlKind::Custom, true};
  return {ControlKind::Custom, false};
}

Result<std::int32_t> IdOf(const XmlElement& w) {
  if (const XmlElement* v = Property(w, "controlId")) {
    if (auto id = ParseInt(v->text)) return *id;
    return MakeError(ERROR_INVALID_DATA, "controlId of line " + std::to_string(w.line) + " is not a number");
  }
  const std::string_view name = w.Attr("name");
  if (auto it = NamedIds().find(name); it != NamedIds().end()) return it->second;
  for (std::string_view prefix : {"id_", "id"}) {
    if (name.substr(0, prefix.size()) == prefix)
      if (auto id = ParseInt(name.substr(prefix.size()))) return *id;
  }
  return -1;  // a label nobody addresses
}

Status AddWidget(const XmlElement& w, int dx, int dy, bool in_tab, DialogTemplate& d) {
  const std::string what = "widget \"" + std::string(w.Attr("name")) + "\"";
  if (in_tab) {
    // Pages of a tab widget are the tab's items; controls on pages are not
    // supported (sheets are dialogs of their own, placed by their controller).
    return {};
  }
  auto kind = KindOf(w);
  if (!kind.known)
    return MakeError(ERROR_INVALID_DATA, what + " (line " + std::to_string(w.line) + ") has class \"" +
                                             std::string(w.Attr("class")) + "\" that no control kind matches");
  auto rect = Geometry(w, what);
  if (!rect) return rect.error();
  auto id = IdOf(w);
  if (!id) return id.error();

  ControlTemplate c;
  c.id = *id;
  c.kind = kind.kind;
  c.rect = {rect->x + dx, rect->y + dy, rect->w, rect->h};
  if (auto t = StringProperty(w, "text")) c.text = *t;
  else if (auto title = StringProperty(w, "title")) c.text = *title;
  if (!BoolProperty(w, "enabled").value_or(true)) c.flags |= kDisabled;
  if (BoolProperty(w, "hidden").value_or(false)) c.flags |= kHidden;
  if (BoolProperty(w, "group").value_or(false)) c.flags |= kGroup;
  if (BoolProperty(w, "readOnly").value_or(false)) c.flags |= kReadOnly;
  if (BoolProperty(w, "tristate").value_or(false)) c.flags |= kTriState;
  if (BoolProperty(w, "sortingEnabled").value_or(false) || BoolProperty(w, "sorted").value_or(false))
    c.flags |= kSort;
  if (BoolProperty(w, "number").value_or(false)) c.flags |= kNumber;
  if (w.Attr("class") == "QPlainTextEdit" || w.Attr("class") == "QTextEdit") c.flags |= kMultiline;
  if (const XmlElement* echo = Property(w, "echoMode"); echo && echo->text.find("Password") != std::string::npos)
    c.flags |= kPassword;
  if (const XmlElement* align = Property(w, "alignment")) {
    if (align->text.find("AlignHCenter") != std::string::npos || align->text.find("AlignCenter") != std::string::npos)
      c.flags |= kCentre;
    else if (align->text.find("AlignRight") != std::string::npos)
      c.flags |= kRight;
  }
  if (const XmlElement* shadow = Property(w, "frameShadow"); shadow && shadow->text.find("Sunken") != std::string::npos)
    c.flags |= kSunken;
  if (const XmlElement* buddy = Property(w, "buddyId")) c.buddy = ParseInt(buddy->text).value_or(0);
  for (const XmlElement* item : w.Children("item"))
    if (auto t = StringProperty(*item, "text")) c.items.push_back(*t);
  if (c.kind == ControlKind::Tab) {
    for (const XmlElement* page : w.Children("widget")) {
      for (const XmlElement* attr : page->Children("attribute"))
        if (attr->Attr("name") == "title" && !attr->children.empty()) c.items.push_back(attr->children.front()->text);
    }
  }
  d.controls.push_back(std::move(c));

  // Children of containers (group boxes, frames) are placed relative to them;
  // the template is flat, as the platform's dialogs are.
  for (const XmlElement* child : w.Children("widget")) {
    Status s = AddWidget(*child, rect->x + dx, rect->y + dy, kind.kind == ControlKind::Tab, d);
    if (!s) return s;
  }
  return {};
}

}  // namespace

Result<DialogTemplate> DialogFromUi(std::string_view xml, std::string_view stem) {
  auto root = ParseXml(xml);
  if (!root) return root.error();
  if ((*root)->name != "ui") return MakeError(ERROR_INVALID_DATA, "the root element is not <ui>");
  const XmlElement* top = (*root)->Child("widget");
  if (!top) return MakeError(ERROR_INVALID_DATA, "no top-level <widget>");

  DialogTemplate d;
  if (auto number = ParseInt(stem); number && *number > 0) d.number = *number;
  else d.name = std::string(stem);
  if (auto title = StringProperty(*top, "windowTitle")) d.title = *title;
  auto rect = Geometry(*top, "the dialog");
  if (!rect) return rect.error();
  d.width = rect->w;
  d.height = rect->h;
  if (BoolProperty(*top, "childDialog").value_or(false)) d.flags |= kChildDialog;
  if (BoolProperty(*top, "contextHelp").value_or(false)) d.flags |= kContextHelp;
  if (const XmlElement* font = Property(*top, "font"); font && font->name == "font") {
    if (font->Child("family")) d.font_family = font->Child("family")->text;
    if (font->Child("pointsize"))
      d.font_pixels = (ParseInt(font->Child("pointsize")->text).value_or(0) * 96 + 36) / 72;
  }
  for (const XmlElement* w : top->Children("widget")) {
    Status s = AddWidget(*w, 0, 0, false, d);
    if (!s) return s.error();
  }
  return d;
}

}  // namespace klm::res::tools
