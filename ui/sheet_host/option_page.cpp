#include "ui/sheet_host/option_page.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "resources/resource_library.h"

namespace klm::ui::sheet {
namespace {

using namespace klm::cpsui;

enum class Shape { Header, Number, States, List, Check, Button, Other };

Shape ShapeOf(const OptItem& item) {
  const OptType* t = item.pOptType;
  if (t == nullptr) return Shape::Header;
  switch (t->Type) {
    case TVOT_UDARROW:
    case TVOT_TRACKBAR:
    case TVOT_SCROLLBAR: return Shape::Number;
    case TVOT_2STATES:
    case TVOT_3STATES:
    case TVOT_NSTATES_EX: return Shape::States;
    case TVOT_LISTBOX:
    case TVOT_COMBOBOX: return Shape::List;
    case TVOT_CHKBOX: return Shape::Check;
    case TVOT_PUSHBUTTON: return Shape::Button;
    default: return Shape::Other;
  }
}

// The parameters an item really has: never more than its kind allows, and
// none without a parameter array.
int ParamCount(const OptItem& item) {
  const OptType* t = item.pOptType;
  if (t == nullptr || t->pOptParam == nullptr) return 0;
  int n = t->Count;
  if (t->Type == TVOT_2STATES) n = std::min(n, 2);
  if (t->Type == TVOT_3STATES) n = std::min(n, 3);
  return std::min(n, kMaxShownOptions);
}

Range NumberRange(const OptItem& item) {
  if (ParamCount(item) < 2) return {0, SHRT_MAX};
  const OptParam& p = item.pOptType->pOptParam[1];
  const auto low = static_cast<std::int32_t>(static_cast<std::intptr_t>(p.IconID));
  const auto high = static_cast<std::int32_t>(p.lParam);
  return {std::min(low, high), std::max(low, high)};
}

std::string ParamText(const OptItem& item, int k) {
  return k < ParamCount(item) ? ItemText(item.pOptType->pOptParam[k].pData) : std::string();
}

bool Hidden(const OptItem& item) { return (item.Flags & OPTIF_HIDE) != 0; }

constexpr int kLeft = 10;
constexpr int kValueX = 200;
constexpr int kPageWidth = 420;
constexpr int kRow = 28;
constexpr int kOptionRow = 22;

}  // namespace

std::string ItemText(const void* text) {
  if (reinterpret_cast<std::uintptr_t>(text) < 0x10000) return {};
  const auto* p = static_cast<const char16_t*>(text);
  std::size_t n = 0;
  while (n < 4096 && p[n] != 0) ++n;
  std::u16string s(p, n);
  // Our texts are UTF-16; build UTF-8 without the platform's code pages.
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string PageTitle(const ComPropSheetUi& page) {
  if (reinterpret_cast<std::uintptr_t>(page.pDlgPage) == CPSUI_PDLGPAGE_PRINTERPROP) return "Device Settings";
  std::string title = ItemText(page.pOptItemName);
  return title.empty() ? ItemText(page.pCallerName) : title;
}

res::DialogTemplate BuildOptionPageTemplate(const ComPropSheetUi& page, const std::string& name) {
  using res::ControlKind;
  res::DialogTemplate t;
  t.name = name;
  t.title = PageTitle(page);
  t.flags = res::kChildDialog;
  auto add = [&t](int id, ControlKind kind, res::Rect rect, std::string text, std::uint32_t flags = 0) {
    res::ControlTemplate c;
    c.id = id;
    c.kind = kind;
    c.rect = rect;
    c.text = std::move(text);
    c.flags = flags;
    t.controls.push_back(std::move(c));
    return &t.controls.back();
  };

  int y = 10;
  const int count = page.pOptItem ? page.cOptItem : 0;
  for (int i = 0; i < count; ++i) {
    const OptItem& item = page.pOptItem[i];
    if (Hidden(item)) continue;
    const int indent = kLeft + 14 * std::clamp(item.Level - 1, 0, 4);
    const std::string label = ItemText(item.pName);
    const int label_w = kValueX - indent - 8;
    switch (ShapeOf(item)) {
      case Shape::Header:
        add(ItemControlId(i, kLabel), ControlKind::Static, {indent, y + 4, kPageWidth - indent - 10, 18}, label);
        y += kRow;
        break;
      case Shape::Number: {
        add(ItemControlId(i, kLabel), ControlKind::Static, {indent, y + 4, label_w, 18}, label);
        add(ItemControlId(i, kValue), ControlKind::Edit, {kValueX, y, 64, 22}, "", res::kNumber | res::kRight);
        add(ItemControlId(i, kUpDown), ControlKind::UpDown, {kValueX + 64, y, 18, 22}, "")->buddy =
            ItemControlId(i, kValue);
        add(ItemControlId(i, kUnit), ControlKind::Static, {kValueX + 88, y + 4, kPageWidth - kValueX - 98, 18},
            ParamText(item, 0));
        y += kRow;
        break;
      }
      case Shape::States: {
        add(ItemControlId(i, kLabel), ControlKind::Static, {indent, y + 4, label_w, 18}, label);
        const int n = ParamCount(item);
        for (int k = 0; k < n; ++k) {
          const bool hide = item.pOptType->pOptParam[k].Flags & OPTPF_HIDE;
          add(ItemControlId(i, kValue + k), ControlKind::RadioButton,
              {kValueX, y + 2 + k * kOptionRow, kPageWidth - kValueX - 10, 20}, ParamText(item, k),
              (k == 0 ? res::kGroup : 0) | (hide ? res::kHidden : 0));
        }
        y += std::max(kRow, n * kOptionRow + 6);
        break;
      }
      case Shape::List: {
        add(ItemControlId(i, kLabel), ControlKind::Static, {indent, y + 4, label_w, 18}, label);
        auto* list = add(ItemControlId(i, kValue), ControlKind::DropDownList,
                         {kValueX, y, kPageWidth - kValueX - 10, 22}, "");
        for (int k = 0; k < ParamCount(item); ++k) list->items.push_back(ParamText(item, k));
        y += kRow;
        break;
      }
      case Shape::Check:
        add(ItemControlId(i, kLabel), ControlKind::Static, {indent, y + 4, label_w, 18}, label);
        add(ItemControlId(i, kValue), ControlKind::CheckBox, {kValueX, y + 2, kPageWidth - kValueX - 10, 20},
            ParamText(item, 0));
        y += kRow;
        break;
      case Shape::Button:
        add(ItemControlId(i, kValue), ControlKind::Button, {indent, y, 190, 24}, label);
        y += kRow + 2;
        break;
      case Shape::Other:
        // Kinds this service does not draw are named, so the page shows they exist.
        add(ItemControlId(i, kLabel), ControlKind::Static, {indent, y + 4, kPageWidth - indent - 10, 18}, label);
        y += kRow;
        break;
    }
  }
  if (page.Flags & CPSUIF_ABOUT_CALLBACK) {
    add(kAboutId, ControlKind::Button, {kPageWidth - 110, y + 6, 100, 24}, "About...");
    y += kRow + 6;
  }
  t.width = kPageWidth;
  t.height = y + 10;
  return t;
}

OptionPage::OptionPage(ComPropSheetUi& page, PageHost& host) : page_(page), host_(host) {
  for (int i = 0; i < Count(); ++i) applied_.push_back(Item(i).Sel);
}

OptionPage::Answer OptionPage::Call(CpsuiCallback callback, std::uint16_t reason, OptItem* current,
                                    std::int32_t old_sel) {
  Answer answer;
  if (callback == nullptr) return answer;
  CpsuiCbParam p{};
  p.cbSize = sizeof p;
  p.Reason = reason;
  p.hDlg = attached() ? static_cast<PageWindow*>(&window_) : nullptr;
  p.pOptItem = page_.pOptItem;
  p.cOptItem = page_.cOptItem;
  p.pCurItem = current;
  p.OldSel = old_sel;
  p.UserData = page_.UserData;
  p.Result = CPSUI_OK;
  answer.action = callback(&p);
  answer.result = p.Result;
  return answer;
}

OptionPage::Answer OptionPage::Callback(std::uint16_t reason, OptItem* current, std::int32_t old_sel) {
  return Call(page_.pfnCallBack, reason, current, old_sel);
}

void OptionPage::Act(std::int32_t action) {
  if (action != CPSUICB_ACTION_OPTIF_CHANGED && action != CPSUICB_ACTION_REINIT_ITEMS) return;
  for (int i = 0; i < Count(); ++i) {
    if (action == CPSUICB_ACTION_OPTIF_CHANGED && !(Item(i).Flags & OPTIF_CHANGED)) continue;
    Item(i).Flags &= ~OPTIF_CHANGED;
    if (attached()) ShowItem(i);
  }
}

void OptionPage::ShowItem(int i) {
  OptItem& item = Item(i);
  DialogView& v = view();
  const bool shown = !Hidden(item);
  const Shape shape = ShapeOf(item);
  const bool enabled = !(item.Flags & OPTIF_DISABLED) && (editable() || shape == Shape::Button);
  for (int part = kLabel; part < kItemIdStride; ++part) {
    const int id = ItemControlId(i, part);
    if (!v.HasControl(id)) continue;
    const bool option_hidden = shape == Shape::States && part >= kValue && part - kValue < ParamCount(item) &&
                               (item.pOptType->pOptParam[part - kValue].Flags & OPTPF_HIDE);
    v.Show(id, shown && !option_hidden);
    if (part != kLabel) v.Enable(id, enabled);
  }
  switch (shape) {
    case Shape::Number: {
      const Range r = NumberRange(item);
      // The control cannot hold a number outside its range, so neither does the item.
      item.Sel = std::clamp(item.Sel, r.min, r.max);
      v.SetRange(ItemControlId(i, kUpDown), r);
      v.SetPos(ItemControlId(i, kUpDown), item.Sel);
      ++writing_;
      v.SetText(ItemControlId(i, kValue), std::to_string(item.Sel));
      --writing_;
      break;
    }
    case Shape::States:
      for (int k = 0; k < ParamCount(item); ++k) {
        v.SetCheck(ItemControlId(i, kValue + k), k == item.Sel ? BST_CHECKED : BST_UNCHECKED);
        if (item.pOptType->pOptParam[k].Flags & OPTPF_DISABLED) v.Enable(ItemControlId(i, kValue + k), false);
      }
      break;
    case Shape::List:
      v.SetCurSel(ItemControlId(i, kValue), item.Sel >= 0 && item.Sel < ParamCount(item) ? item.Sel : -1);
      break;
    case Shape::Check: v.SetCheck(ItemControlId(i, kValue), item.Sel ? BST_CHECKED : BST_UNCHECKED); break;
    default: break;
  }
}

bool OptionPage::OnInit() {
  for (int i = 0; i < Count(); ++i) ShowItem(i);
  return true;
}

void OptionPage::Activate() { Act(Callback(CPSUICB_REASON_SETACTIVE, page_.pOptItem).action); }

void OptionPage::Deactivate() { (void)Callback(CPSUICB_REASON_KILLACTIVE, page_.pOptItem); }

bool OptionPage::Apply(std::uintptr_t& result) {
  const Answer answer = Callback(CPSUICB_REASON_APPLYNOW, page_.pOptItem);
  if (answer.action == CPSUICB_ACTION_NO_APPLY_EXIT) return false;
  result = answer.result;
  for (int i = 0; i < Count(); ++i) applied_[i] = Item(i).Sel;
  Act(answer.action);
  return true;
}

void OptionPage::Revert() {
  bool any = false;
  for (int i = 0; i < Count(); ++i) {
    if (ShapeOf(Item(i)) == Shape::Button || Item(i).Sel == applied_[i]) continue;
    Item(i).Sel = applied_[i];
    any = true;
    if (attached()) ShowItem(i);
  }
  if (any) Act(Callback(CPSUICB_REASON_ITEMS_REVERTED, page_.pOptItem).action);
}

bool OptionPage::Locate(int id, int& index, int& part) const {
  if (id < kItemIdBase) return false;
  index = (id - kItemIdBase) / kItemIdStride;
  part = (id - kItemIdBase) % kItemIdStride;
  return index < Count();
}

void OptionPage::UserSet(int i, std::int32_t sel) {
  OptItem& item = Item(i);
  if (!editable() || (item.Flags & OPTIF_DISABLED) || item.Sel == sel) return;
  const std::int32_t old = item.Sel;
  item.Sel = sel;
  host_.PageChanged();
  if (item.Flags & OPTIF_CALLBACK) Act(Callback(CPSUICB_REASON_SEL_CHANGED, &item, old).action);
}

void OptionPage::OnClick(int id) {
  if (id == kAboutId) {
    (void)Callback(CPSUICB_REASON_ABOUT, page_.pOptItem);
    return;
  }
  int i = 0, part = 0;
  if (!Locate(id, i, part)) return;
  OptItem& item = Item(i);
  switch (ShapeOf(item)) {
    case Shape::States: UserSet(i, part - kValue); break;
    case Shape::Check: UserSet(i, view().Check(id) == BST_CHECKED ? 1 : 0); break;
    case Shape::Button: {
      if (item.Flags & OPTIF_DISABLED) return;
      // A callback button calls its own function, else the page's callback.
      const OptParam* p = ParamCount(item) > 0 ? &item.pOptType->pOptParam[0] : nullptr;
      Answer answer;
      if (p && p->Style == PUSHBUTTON_TYPE_CALLBACK && p->pData)
        answer = Call(reinterpret_cast<CpsuiCallback>(p->pData), CPSUICB_REASON_PUSHBUTTON, &item, item.Sel);
      else
        answer = Callback(CPSUICB_REASON_PUSHBUTTON, &item, item.Sel);
      Act(answer.action);
      break;
    }
    default: break;
  }
}

void OptionPage::OnSelChange(int id) {
  int i = 0, part = 0;
  if (Locate(id, i, part) && ShapeOf(Item(i)) == Shape::List && part == kValue) {
    const int sel = view().CurSel(id);
    if (sel >= 0) UserSet(i, sel);
  }
}

void OptionPage::OnEditChanged(int id) {
  int i = 0, part = 0;
  if (writing_ || !Locate(id, i, part) || part != kValue || ShapeOf(Item(i)) != Shape::Number) return;
  const std::string text = view().Text(id);
  std::int32_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  const Range r = NumberRange(Item(i));
  // Only whole numbers inside the range count while typing; the rest is put
  // right when the edit loses the focus.
  if (ec != std::errc() || end != text.data() + text.size() || n < r.min || n > r.max) return;
  view().SetPos(ItemControlId(i, kUpDown), n);
  UserSet(i, n);
}

void OptionPage::OnKillFocus(int id) {
  int i = 0, part = 0;
  if (!Locate(id, i, part) || part != kValue || ShapeOf(Item(i)) != Shape::Number) return;
  if (view().Text(id) != std::to_string(Item(i).Sel)) ShowItem(i);
}

void OptionPage::OnScroll(int id, ScrollCode code, int pos) {
  int i = 0, part = 0;
  if (!Locate(id, i, part) || part != kUpDown || ShapeOf(Item(i)) != Shape::Number) return;
  if (code != ScrollCode::ThumbPosition) return;
  UserSet(i, pos);
  ++writing_;
  view().SetText(ItemControlId(i, kValue), std::to_string(Item(i).Sel));
  --writing_;
}

}  // namespace klm::ui::sheet
