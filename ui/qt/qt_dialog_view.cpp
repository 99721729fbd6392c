#include "ui/qt/qt_dialog_view.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/qt_prompts.h"

namespace klm::ui::qt {

using res::ControlKind;

namespace {

constexpr int kMaxNotifyDepth = 32;
constexpr char kIdProperty[] = "klm71ControlId";

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toStdString(); }

// Static texts show "&&" as "&" and drop the mnemonic mark, as the platform's do.
QString StaticText(std::string_view text) {
  QString out;
  const QString in = Q(text);
  for (qsizetype i = 0; i < in.size(); ++i) {
    if (in[i] == '&') {
      if (i + 1 < in.size() && in[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += in[i];
  }
  return out;
}

QColor Colour(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

QRect Area(const Rect& r, const QRect& whole) {
  if (r.w <= 0 || r.h <= 0) return whole;
  return QRect(whole.x() + r.x, whole.y() + r.y, r.w, r.h);
}

// A static, picture, frame or custom area: its normal look, or the drawing a
// controller gave it.
class PaintLabel : public QLabel {
 public:
  explicit PaintLabel(QWidget* parent) : QLabel(parent) {}
  std::vector<DrawOp> ops;

 protected:
  void paintEvent(QPaintEvent* e) override {
    if (ops.empty()) {
      QLabel::paintEvent(e);
      return;
    }
    QPainter p(this);
    PaintOps(p, rect(), ops);
  }
};

// A push button that may show one picture per state instead of its face.
class PictureButton : public QPushButton {
 public:
  explicit PictureButton(QWidget* parent) : QPushButton(parent) {}
  std::array<QImage, 3> pictures;
  PictureButtonStateMachine machine;
  bool has_pictures = false;

 protected:
  void paintEvent(QPaintEvent* e) override {
    if (!has_pictures) {
      QPushButton::paintEvent(e);
      return;
    }
    QPainter p(this);
    const QImage& img = pictures[static_cast<std::size_t>(machine.state())];
    if (!img.isNull()) p.drawImage(QPoint(0, 0), img);
  }
  void enterEvent(QEnterEvent* e) override {
    machine.MouseMove();
    update();
    QPushButton::enterEvent(e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    machine.MouseMove();
    update();
    QPushButton::mouseMoveEvent(e);
  }
  void leaveEvent(QEvent* e) override {
    machine.MouseLeave();
    update();
    QPushButton::leaveEvent(e);
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) machine.LeftDown();
    update();
    QPushButton::mousePressEvent(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) machine.LeftUp();
    update();
    QPushButton::mouseReleaseEvent(e);
  }
  void focusInEvent(QFocusEvent* e) override {
    machine.FocusIn();
    update();
    QPushButton::focusInEvent(e);
  }
  void focusOutEvent(QFocusEvent* e) override {
    machine.FocusOut();
    update();
    QPushButton::focusOutEvent(e);
  }
};

// A combo box that reports when its list is about to open.
class NotifyingCombo : public QComboBox {
 public:
  NotifyingCombo(QWidget* parent, std::function<void()> on_drop) : QComboBox(parent), on_drop_(std::move(on_drop)) {}
  void showPopup() override {
    on_drop_();
    QComboBox::showPopup();
  }

 private:
  std::function<void()> on_drop_;
};

// Two arrow buttons; each click is a step of +1 or -1.
QWidget* MakeUpDown(QWidget* parent, QtDialogView* view, int id) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int delta : {+1, -1}) {
    auto* b = new QToolButton(box);
    b->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
    b->setAutoRepeat(true);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    b->setFocusPolicy(Qt::NoFocus);
    QObject::connect(b, &QToolButton::clicked, view, [view, id, delta] { view->UpDownClicked(id, delta); });
    layout->addWidget(b);
  }
  return box;
}

ScrollCode CodeOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollCode::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollCode::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollCode::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollCode::PageDown;
    case QAbstractSlider::SliderToMinimum: return ScrollCode::Top;
    case QAbstractSlider::SliderToMaximum: return ScrollCode::Bottom;
    case QAbstractSlider::SliderMove: return ScrollCode::ThumbTrack;
    default: return ScrollCode::EndScroll;
  }
}

}  // namespace

QImage DecodePicture(const Picture& picture, std::optional<std::uint32_t> transparent) {
  if (!picture) return {};
  QImage img = QImage::fromData(picture.bmp->data(), static_cast<int>(picture.bmp->size()), "BMP");
  if (img.isNull() || !transparent) return img;
  // The colour key becomes clear: the same result as drawing through a mask.
  img = img.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = 0xFF000000u | *transparent;
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if (line[x] == key) line[x] = 0;
  }
  return img;
}

void PaintOps(QPainter& p, const QRect& whole, const std::vector<DrawOp>& ops) {
  for (const DrawOp& op : ops) {
    if (const auto* pic = std::get_if<DrawPicture>(&op)) {
      const QImage img = DecodePicture(pic->picture, pic->transparent);
      if (img.isNull()) continue;
      const QRect area = Area(pic->rect, whole);
      switch (pic->fit) {
        case Fit::Natural: p.drawImage(area.topLeft(), img); break;
        case Fit::Stretch: p.drawImage(area, img); break;
        case Fit::StretchWidth: p.drawImage(QRect(area.x(), area.y(), area.width(), img.height()), img); break;
      }
    } else if (const auto* text = std::get_if<DrawText>(&op)) {
      QFont font = p.font();
      if (!text->font_family.empty()) font.setFamily(Q(text->font_family));
      if (text->pixel_height > 0) font.setPixelSize(text->pixel_height);
      font.setWeight(static_cast<QFont::Weight>(std::clamp(text->weight, 100, 900)));
      p.setFont(font);
      p.setPen(Colour(text->colour));
      p.drawText(QRect(whole.x() + text->x, whole.y() + text->y, whole.width(), whole.height()),
                 Qt::AlignLeft | Qt::AlignTop, Q(text->text));
    } else if (const auto* frame = std::get_if<DrawFrame>(&op)) {
      QRect area = Area(frame->rect, whole);
      p.setPen(QPen(Colour(frame->colour), frame->width));
      p.setBrush(Qt::NoBrush);
      const int half = frame->width / 2;
      p.drawRect(area.adjusted(half, half, -half - 1 + (frame->width % 2 == 0 ? 1 : 0), -half - 1));
    } else if (const auto* fill = std::get_if<DrawFill>(&op)) {
      p.fillRect(Area(fill->rect, whole), Colour(fill->colour));
    }
  }
}

// ---- construction ----

QtDialogView::QtDialogView(res::DialogTemplate dialog, const res::ResourceLibrary* library, Shell& shell,
                           QWidget* parent, bool as_child)
    : QDialog(parent), template_(std::move(dialog)), library_(library), shell_(shell) {
  if (as_child || (template_.flags & res::kChildDialog)) setWindowFlags(Qt::Widget);
  setWindowTitle(Q(template_.title));
  if (!template_.font_family.empty() || template_.font_pixels > 0) {
    QFont f = font();
    if (!template_.font_family.empty()) f.setFamily(Q(template_.font_family));
    if (template_.font_pixels > 0) f.setPixelSize(template_.font_pixels);
    setFont(f);
  }
  setFixedSize(std::max(1, template_.width), std::max(1, template_.height));
  Build();
  port_->SetWake([this] { QMetaObject::invokeMethod(this, [this] { DeliverPosted(); }, Qt::QueuedConnection); });
}

QtDialogView::~QtDialogView() {
  port_->Close();
  for (auto& child : children_)
    if (child) delete child.data();
  if (controller_) {
    controller_->OnDestroy();
    controller_->Attach(nullptr);
  }
}

void QtDialogView::Build() {
  int group = 0;
  for (const res::ControlTemplate& t : template_.controls) {
    if (t.flags & res::kGroup || t.kind != ControlKind::RadioButton) ++group;
    Control c;
    c.kind = t.kind;
    c.flags = t.flags;
    c.group = group;
    QWidget* w = MakeWidget(t.id, t, c);
    c.widget = w;
    w->setGeometry(t.rect.x, t.rect.y, t.rect.w, t.rect.h);
    w->setProperty(kIdProperty, t.id);
    w->setEnabled(!(t.flags & res::kDisabled));
    w->setVisible(!(t.flags & res::kHidden));
    w->installEventFilter(this);
    if (t.kind == ControlKind::GroupBox) w->lower();
    if (t.id >= 0 && !controls_.count(t.id)) controls_.emplace(t.id, c);
  }
}

QWidget* QtDialogView::MakeWidget(int id, const res::ControlTemplate& t, Control& c) {
  switch (t.kind) {
    case ControlKind::Button:
    case ControlKind::DefButton: {
      auto* b = new PictureButton(this);
      b->setText(Q(t.text));
      b->setAutoDefault(false);
      b->setDefault(t.kind == ControlKind::DefButton);
      connect(b, &QPushButton::clicked, this, [this, id] { Notify(id, ui::Notify::Clicked); });
      return b;
    }
    case ControlKind::CheckBox: {
      auto* b = new QCheckBox(Q(t.text), this);
      b->setTristate(t.flags & res::kTriState);
      connect(b, &QCheckBox::clicked, this, [this, id] { Notify(id, ui::Notify::Clicked); });
      return b;
    }
    case ControlKind::RadioButton: {
      auto* b = new QRadioButton(Q(t.text), this);
      b->setAutoExclusive(false);  // groups follow the template, see Notify
      connect(b, &QRadioButton::clicked, this, [this, id] {
        Control* me = Find(id);
        for (auto& [other_id, other] : controls_)
          if (other.kind == ControlKind::RadioButton && me && other.group == me->group && other_id != id)
            static_cast<QRadioButton*>(other.widget)->setChecked(false);
        static_cast<QRadioButton*>(Find(id)->widget)->setChecked(true);
        Notify(id, ui::Notify::Clicked);
      });
      return b;
    }
    case ControlKind::GroupBox: return new QGroupBox(StaticText(t.text), this);
    case ControlKind::Edit: {
      auto* e = new QLineEdit(Q(t.text), this);
      e->setReadOnly(t.flags & res::kReadOnly);
      if (t.flags & res::kPassword) e->setEchoMode(QLineEdit::Password);
      if (t.flags & res::kRight) e->setAlignment(Qt::AlignRight);
      // Every change, the program's too, as the platform's edits report them.
      connect(e, &QLineEdit::textChanged, this, [this, id] {
        Notify(id, ui::Notify::EditUpdate);
        Notify(id, ui::Notify::EditChange);
      });
      return e;
    }
    case ControlKind::ListBox: {
      auto* l = new QListWidget(this);
      for (const std::string& item : t.items) l->addItem(Q(item));
      connect(l, &QListWidget::currentRowChanged, this, [this, id] {
        if (!updating_) Notify(id, ui::Notify::SelChange);
      });
      connect(l, &QListWidget::itemDoubleClicked, this, [this, id] { Notify(id, ui::Notify::DoubleClick); });
      return l;
    }
    case ControlKind::ComboBox:
    case ControlKind::DropDownList: {
      auto* cb = new NotifyingCombo(this, [this, id] { Notify(id, ui::Notify::DropDown); });
      cb->setEditable(t.kind == ControlKind::ComboBox);
      for (const std::string& item : t.items) cb->addItem(Q(item));
      cb->setCurrentIndex(-1);
      connect(cb, qOverload<int>(&QComboBox::activated), this, [this, id] { Notify(id, ui::Notify::SelChange); });
      if (cb->lineEdit())
        connect(cb->lineEdit(), &QLineEdit::textEdited, this, [this, id] { Notify(id, ui::Notify::ComboEdit); });
      return cb;
    }
    case ControlKind::UpDown: return MakeUpDown(this, this, id);
    case ControlKind::HScrollBar:
    case ControlKind::VScrollBar:
    case ControlKind::TrackBar: {
      QAbstractSlider* s = nullptr;
      const Qt::Orientation o = t.kind == ControlKind::VScrollBar ? Qt::Vertical : Qt::Horizontal;
      if (t.kind == ControlKind::TrackBar) s = new QSlider(o, this);
      else s = new QScrollBar(o, this);
      s->setRange(c.range.min, c.range.max);
      connect(s, &QAbstractSlider::actionTriggered, this, [this, id](int action) { SliderAction(id, action); });
      connect(s, &QAbstractSlider::sliderReleased, this, [this, id] { SliderReleased(id); });
      return s;
    }
    case ControlKind::ProgressBar: {
      auto* p = new QProgressBar(this);
      p->setRange(0, 100);
      p->setValue(0);
      p->setTextVisible(false);
      return p;
    }
    case ControlKind::Tab: {
      auto* tabs = new QTabBar(this);
      for (const std::string& item : t.items) tabs->addTab(Q(item));
      connect(tabs, &QTabBar::currentChanged, this, [this, id] {
        if (!updating_) Notify(id, ui::Notify::SelChange);
      });
      return tabs;
    }
    case ControlKind::Frame: {
      auto* l = new PaintLabel(this);
      l->setFrameShape(QFrame::Box);
      return l;
    }
    case ControlKind::Static:
    case ControlKind::Picture:
    case ControlKind::Custom:
    default: {
      auto* l = new PaintLabel(this);
      l->setText(StaticText(t.text));
      l->setWordWrap(t.rect.h > 2 * fontMetrics().height());
      if (t.flags & res::kCentre) l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
      else if (t.flags & res::kRight) l->setAlignment(Qt::AlignRight | Qt::AlignTop);
      else l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (t.flags & res::kSunken) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return l;
    }
  }
}

bool QtDialogView::Start(DialogController& controller) {
  controller_ = &controller;
  controller.Attach(this);
  ++depth_;
  const bool ok = controller.OnInit();
  --depth_;
  if (!ok) {
    controller.OnDestroy();
    controller.Attach(nullptr);
    controller_ = nullptr;
  }
  return ok;
}

int QtDialogView::RunModalLoop() {
  if (ended_) return result_;
  exec();
  return ended_ ? result_ : IDCANCEL;
}

QtDialogView::Control* QtDialogView::Find(int id) {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}
const QtDialogView::Control* QtDialogView::Find(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}
QWidget* QtDialogView::Widget(int id) const {
  const Control* c = Find(id);
  return c ? c->widget : nullptr;
}

int QtDialogView::IdOf(QObject* widget) const {
  for (QObject* o = widget; o && o != this; o = o->parent()) {
    QVariant v = o->property(kIdProperty);
    if (v.isValid()) return v.toInt() < 0 ? 0 : v.toInt();
  }
  return 0;
}

// ---- notifications ----

void QtDialogView::Notify(int id, ui::Notify code) {
  if (!controller_ || ended_ || depth_ > kMaxNotifyDepth) return;
  ++depth_;
  controller_->OnCommand(id, code);
  --depth_;
}

void QtDialogView::UpDownClicked(int id, int delta) {
  if (!controller_ || ended_) return;
  ++depth_;
  const bool refused = controller_->OnUpDown(id, delta);
  --depth_;
  if (refused || !controller_) return;
  Control* c = Find(id);
  c->pos = c->range.Clamp(c->pos + delta);
  ++depth_;
  controller_->OnScroll(id, ScrollCode::ThumbPosition, c->pos);
  if (controller_) controller_->OnScroll(id, ScrollCode::EndScroll, c->pos);
  --depth_;
}

void QtDialogView::SliderAction(int id, int action) {
  Control* c = Find(id);
  if (!c || !controller_ || ended_ || action == QAbstractSlider::SliderNoAction) return;
  auto* s = static_cast<QAbstractSlider*>(c->widget);
  const int pos = s->sliderPosition();  // already moved by the action
  ++depth_;
  controller_->OnScroll(id, CodeOf(action), pos);
  --depth_;
  // A scroll bar stays where the controller put it; a track bar keeps the move.
  if (c->kind != ControlKind::TrackBar) s->setSliderPosition(c->pos);
}

void QtDialogView::SliderReleased(int id) {
  Control* c = Find(id);
  if (!c || !controller_ || ended_) return;
  auto* s = static_cast<QAbstractSlider*>(c->widget);
  ++depth_;
  controller_->OnScroll(id, ScrollCode::ThumbPosition, s->sliderPosition());
  if (controller_) controller_->OnScroll(id, ScrollCode::EndScroll, s->sliderPosition());
  --depth_;
  if (c->kind != ControlKind::TrackBar) s->setSliderPosition(c->pos);
}

void QtDialogView::DeliverPosted() {
  for (const PostedMessage& m : port_->Drain()) {
    if (!controller_) return;
    ++depth_;
    controller_->OnMessage(m.message, m.wparam, m.lparam);
    --depth_;
  }
}

void QtDialogView::closeEvent(QCloseEvent* event) {
  if (ended_ || !controller_) {
    event->accept();
    return;
  }
  event->ignore();
  controller_->OnClose();
}

void QtDialogView::reject() {
  // Escape is the platform's IDCANCEL command.
  if (ended_ || !controller_) {
    QDialog::reject();
    return;
  }
  Notify(IDCANCEL, ui::Notify::Clicked);
}

bool QtDialogView::eventFilter(QObject* watched, QEvent* event) {
  if (!controller_) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::FocusIn:
      Notify(IdOf(watched), ui::Notify::SetFocus);
      break;
    case QEvent::FocusOut:
      Notify(IdOf(watched), ui::Notify::KillFocus);
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        controller_->OnHelp(IdOf(watched), HelpKind::F1);
        return true;
      }
      break;
    case QEvent::ContextMenu: {
      const int id = IdOf(watched);
      const QPoint at = static_cast<QWidget*>(watched)->mapTo(this, static_cast<QContextMenuEvent*>(event)->pos());
      controller_->OnHelp(id, HelpKind::ContextMenu);
      if (controller_) controller_->OnContextMenu(id, at.x(), at.y());
      return true;
    }
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// ---- DialogView ----

void QtDialogView::SetTitle(std::string_view title) { setWindowTitle(Q(title)); }
std::string QtDialogView::Title() const { return S(windowTitle()); }

void QtDialogView::EndDialog(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  for (auto& [timer_id, timer] : timers_) timer->stop();
  if (isModal() || testAttribute(Qt::WA_ShowModal)) done(result);
  else hide();
}

ControlKind QtDialogView::Kind(int id) const {
  const Control* c = Find(id);
  return c ? c->kind : ControlKind::Custom;
}

Rect QtDialogView::ClientRect() const { return {0, 0, width(), height()}; }

Rect QtDialogView::ControlRect(int id) const {
  const Control* c = Find(id);
  if (!c) return {};
  const QRect g = c->widget->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

void QtDialogView::MoveControl(int id, const Rect& r) {
  if (Control* c = Find(id)) c->widget->setGeometry(r.x, r.y, r.w, r.h);
}

void QtDialogView::SetText(int id, std::string_view text) {
  Control* c = Find(id);
  if (!c) return;
  QWidget* w = c->widget;
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    if (e->text() == Q(text)) {
      // The platform reports a set text even when it is the same.
      Notify(id, ui::Notify::EditUpdate);
      Notify(id, ui::Notify::EditChange);
    } else {
      e->setText(Q(text));
    }
  } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
    if (cb->isEditable()) cb->setEditText(Q(text));
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(Q(text));
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(StaticText(text));
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(StaticText(text));
  }
}

std::string QtDialogView::Text(int id) const {
  const Control* c = Find(id);
  if (!c) return {};
  QWidget* w = c->widget;
  if (auto* e = qobject_cast<QLineEdit*>(w)) return S(e->text());
  if (auto* cb = qobject_cast<QComboBox*>(w)) return S(cb->currentText());
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return S(b->text());
  if (auto* g = qobject_cast<QGroupBox*>(w)) return S(g->title());
  if (auto* l = qobject_cast<QLabel*>(w)) return S(l->text());
  return {};
}

void QtDialogView::Enable(int id, bool enabled) {
  if (Control* c = Find(id)) c->widget->setEnabled(enabled);
}
bool QtDialogView::IsEnabled(int id) const {
  const Control* c = Find(id);
  return c && c->widget->isEnabled();
}
void QtDialogView::Show(int id, bool visible) {
  if (Control* c = Find(id)) c->widget->setVisible(visible);
}
bool QtDialogView::IsVisible(int id) const {
  const Control* c = Find(id);
  return c && !c->widget->isHidden();
}
void QtDialogView::SetFocus(int id) {
  if (Control* c = Find(id)) c->widget->setFocus(Qt::OtherFocusReason);
}
int QtDialogView::Focus() const {
  QWidget* f = focusWidget();
  return f ? IdOf(f) : 0;
}
void QtDialogView::Invalidate(int id) {
  if (Control* c = Find(id)) c->widget->update();
}
int QtDialogView::TextWidth(int id, std::string_view text) const {
  const Control* c = Find(id);
  const QFontMetrics m = c ? c->widget->fontMetrics() : fontMetrics();
  return m.horizontalAdvance(Q(text));
}

void QtDialogView::SetCheck(int id, int state) {
  Control* c = Find(id);
  if (!c) return;
  if (auto* cb = qobject_cast<QCheckBox*>(c->widget))
    cb->setCheckState(state == BST_CHECKED ? Qt::Checked : state == BST_INDETERMINATE ? Qt::PartiallyChecked : Qt::Unchecked);
  else if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) {
    b->setCheckable(true);
    b->setChecked(state == BST_CHECKED);
  }
}

int QtDialogView::Check(int id) const {
  const Control* c = Find(id);
  if (!c) return 0;
  if (auto* cb = qobject_cast<QCheckBox*>(c->widget))
    return cb->checkState() == Qt::Checked ? BST_CHECKED : cb->checkState() == Qt::PartiallyChecked ? BST_INDETERMINATE : 0;
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->isChecked() ? BST_CHECKED : 0;
  return 0;
}

void QtDialogView::SetSelection(int id, int start, int end) {
  Control* c = Find(id);
  auto* e = c ? qobject_cast<QLineEdit*>(c->widget) : nullptr;
  if (!e) return;
  const int len = static_cast<int>(e->text().size());
  start = start < 0 ? len : std::min(start, len);
  end = end < 0 ? len : std::min(end, len);
  e->setSelection(start, end - start);
  if (start == end) e->setCursorPosition(start);
}

std::pair<int, int> QtDialogView::Selection(int id) const {
  const Control* c = Find(id);
  auto* e = c ? qobject_cast<QLineEdit*>(c->widget) : nullptr;
  if (!e) return {0, 0};
  if (!e->hasSelectedText()) return {e->cursorPosition(), e->cursorPosition()};
  return {e->selectionStart(), e->selectionEnd()};
}

void QtDialogView::SetTextLimit(int id, int characters) {
  Control* c = Find(id);
  if (auto* e = c ? qobject_cast<QLineEdit*>(c->widget) : nullptr) e->setMaxLength(characters > 0 ? characters : 32767);
}

void QtDialogView::ClearItems(int id) {
  Control* c = Find(id);
  if (!c) return;
  ++updating_;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) l->clear();
  else if (auto* cb = qobject_cast<QComboBox*>(c->widget)) cb->clear();
  else if (auto* t = qobject_cast<QTabBar*>(c->widget))
    while (t->count() > 0) t->removeTab(0);
  --updating_;
}

int QtDialogView::AddItem(int id, std::string_view text) {
  Control* c = Find(id);
  if (!c) return -1;
  int at = ItemCount(id);
  if (c->flags & res::kSort) {
    at = 0;
    while (at < ItemCount(id) && ItemText(id, at) <= std::string(text)) ++at;
  }
  return InsertItem(id, at, text);
}

int QtDialogView::InsertItem(int id, int index, std::string_view text) {
  Control* c = Find(id);
  if (!c) return -1;
  const int count = ItemCount(id);
  if (index < 0 || index > count) index = count;
  ++updating_;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) l->insertItem(index, Q(text));
  else if (auto* cb = qobject_cast<QComboBox*>(c->widget)) {
    const int keep = cb->currentIndex();
    cb->insertItem(index, Q(text));
    if (keep < 0) cb->setCurrentIndex(-1);  // no selection until one is set
  } else if (auto* t = qobject_cast<QTabBar*>(c->widget)) t->insertTab(index, Q(text));
  else index = -1;
  --updating_;
  return index;
}

void QtDialogView::DeleteItem(int id, int index) {
  Control* c = Find(id);
  if (!c || index < 0 || index >= ItemCount(id)) return;
  ++updating_;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) delete l->takeItem(index);
  else if (auto* cb = qobject_cast<QComboBox*>(c->widget)) cb->removeItem(index);
  else if (auto* t = qobject_cast<QTabBar*>(c->widget)) t->removeTab(index);
  --updating_;
}

int QtDialogView::ItemCount(int id) const {
  const Control* c = Find(id);
  if (!c) return 0;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) return l->count();
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) return cb->count();
  if (auto* t = qobject_cast<QTabBar*>(c->widget)) return t->count();
  return 0;
}

std::string QtDialogView::ItemText(int id, int index) const {
  const Control* c = Find(id);
  if (!c || index < 0 || index >= ItemCount(id)) return {};
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) return S(l->item(index)->text());
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) return S(cb->itemText(index));
  if (auto* t = qobject_cast<QTabBar*>(c->widget)) return S(t->tabText(index));
  return {};
}

void QtDialogView::SetItemData(int id, int index, std::int64_t value) {
  Control* c = Find(id);
  if (!c || index < 0 || index >= ItemCount(id)) return;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) l->item(index)->setData(Qt::UserRole, QVariant::fromValue(value));
  else if (auto* cb = qobject_cast<QComboBox*>(c->widget)) cb->setItemData(index, QVariant::fromValue(value));
  else if (auto* t = qobject_cast<QTabBar*>(c->widget)) t->setTabData(index, QVariant::fromValue(value));
}

std::int64_t QtDialogView::ItemData(int id, int index) const {
  const Control* c = Find(id);
  if (!c || index < 0 || index >= ItemCount(id)) return 0;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) return l->item(index)->data(Qt::UserRole).toLongLong();
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) return cb->itemData(index).toLongLong();
  if (auto* t = qobject_cast<QTabBar*>(c->widget)) return t->tabData(index).toLongLong();
  return 0;
}

void QtDialogView::SetCurSel(int id, int index) {
  Control* c = Find(id);
  if (!c) return;
  if (index >= ItemCount(id)) index = -1;
  ++updating_;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) l->setCurrentRow(index);
  else if (auto* cb = qobject_cast<QComboBox*>(c->widget)) cb->setCurrentIndex(index);
  else if (auto* t = qobject_cast<QTabBar*>(c->widget)) t->setCurrentIndex(index);
  --updating_;
}

int QtDialogView::CurSel(int id) const {
  const Control* c = Find(id);
  if (!c) return -1;
  if (auto* l = qobject_cast<QListWidget*>(c->widget)) return l->currentRow();
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) return cb->currentIndex();
  if (auto* t = qobject_cast<QTabBar*>(c->widget)) return t->currentIndex();
  return -1;
}

void QtDialogView::SetHorizontalExtent(int id, int pixels) {
  Control* c = Find(id);
  if (auto* l = c ? qobject_cast<QListWidget*>(c->widget) : nullptr)
    l->setHorizontalScrollBarPolicy(pixels > l->viewport()->width() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
}

void QtDialogView::SetDroppedWidth(int id, int pixels) {
  Control* c = Find(id);
  if (auto* cb = c ? qobject_cast<QComboBox*>(c->widget) : nullptr) cb->view()->setMinimumWidth(pixels);
}

void QtDialogView::SetRange(int id, Range range) {
  Control* c = Find(id);
  if (!c) return;
  c->range = range;
  const int lo = range.Lo(), hi = range.Hi();
  c->pos = range.Clamp(c->pos);
  if (auto* s = qobject_cast<QAbstractSlider*>(c->widget)) {
    QSignalBlocker block(s);
    s->setRange(lo, hi);
    s->setSliderPosition(c->pos);
  } else if (auto* p = qobject_cast<QProgressBar*>(c->widget)) {
    p->setRange(lo, hi);
  }
}

Range QtDialogView::GetRange(int id) const {
  const Control* c = Find(id);
  return c ? c->range : Range{0, 0};
}

void QtDialogView::SetPos(int id, int pos) {
  Control* c = Find(id);
  if (!c) return;
  c->pos = c->range.Clamp(pos);
  if (auto* s = qobject_cast<QAbstractSlider*>(c->widget)) {
    QSignalBlocker block(s);
    s->setSliderPosition(c->pos);
  } else if (auto* p = qobject_cast<QProgressBar*>(c->widget)) {
    p->setValue(c->pos);
  }
}

int QtDialogView::Pos(int id) const {
  const Control* c = Find(id);
  if (!c) return 0;
  if (c->kind == ControlKind::TrackBar) return static_cast<QAbstractSlider*>(c->widget)->sliderPosition();
  return c->pos;
}

void QtDialogView::SetPageSize(int id, int page) {
  Control* c = Find(id);
  if (auto* s = c ? qobject_cast<QAbstractSlider*>(c->widget) : nullptr) s->setPageStep(std::max(1, page));
}

void QtDialogView::SetDrawing(int id, std::vector<DrawOp> ops) {
  Control* c = Find(id);
  if (auto* l = c ? dynamic_cast<PaintLabel*>(c->widget) : nullptr) {
    l->ops = std::move(ops);
    l->update();
  }
}

void QtDialogView::SetButtonPictures(int id, Picture normal, Picture hot, Picture pressed,
                                     std::optional<std::uint32_t> transparent) {
  Control* c = Find(id);
  auto* b = c ? dynamic_cast<PictureButton*>(c->widget) : nullptr;
  if (!b) return;
  b->pictures = {DecodePicture(normal, transparent), DecodePicture(hot, transparent), DecodePicture(pressed, transparent)};
  b->has_pictures = true;
  b->setMouseTracking(true);
  b->update();
}

ButtonState QtDialogView::PictureButtonState(int id) const {
  const Control* c = Find(id);
  auto* b = c ? dynamic_cast<PictureButton*>(c->widget) : nullptr;
  return b ? b->machine.state() : ButtonState::Normal;
}

void QtDialogView::SetTimer(int timer, int ms) {
  QTimer*& t = timers_[timer];
  if (!t) {
    t = new QTimer(this);
    connect(t, &QTimer::timeout, this, [this, timer] {
      if (controller_ && !ended_) controller_->OnTimer(timer);
    });
  }
  t->start(std::max(1, ms));
}

void QtDialogView::KillTimer(int timer) {
  auto it = timers_.find(timer);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

int QtDialogView::RunModal(const res::DialogKey& key, DialogController& controller) {
  std::optional<res::DialogTemplate> dialog = library_ ? library_->Dialog(key) : std::nullopt;
  if (!dialog) return -1;
  QtDialogView child(std::move(*dialog), library_, shell_, this);
  child.SetPrompts(prompts_override_);
  child.setModal(true);
  if (!child.Start(controller)) return -1;
  return child.RunModalLoop();
}

DialogView* QtDialogView::CreateChild(const res::DialogKey& key, DialogController& controller, int host_id) {
  std::optional<res::DialogTemplate> dialog = library_ ? library_->Dialog(key) : std::nullopt;
  if (!dialog) return nullptr;
  auto* child = new QtDialogView(std::move(*dialog), library_, shell_, this, true);
  child->SetPrompts(prompts_override_);
  if (const Control* host = Find(host_id)) {
    const QRect g = host->widget->geometry();
    // Below a tab strip's tabs; else at the host's corner.
    const int below = qobject_cast<QTabBar*>(host->widget) ? g.height() : 0;
    child->move(g.x(), g.y() + below);
  }
  child->show();
  children_.emplace_back(child);
  if (!child->Start(controller)) {
    delete child;
    return nullptr;
  }
  return child;
}

void QtDialogView::DestroyChild(DialogView* child) {
  for (auto it = children_.begin(); it != children_.end(); ++it) {
    if (static_cast<DialogView*>(it->data()) == child) {
      delete it->data();
      children_.erase(it);
      return;
    }
  }
}

Prompts& QtDialogView::prompts() {
  if (prompts_override_) return *prompts_override_;
  if (!prompts_) prompts_ = std::make_unique<QtPrompts>(this);
  return *prompts_;
}

int RunDialog(const res::ResourceLibrary& library, const res::DialogKey& key, DialogController& controller,
              Shell& shell, QWidget* parent, Prompts* prompts) {
  std::optional<res::DialogTemplate> dialog = library.Dialog(key);
  if (!dialog) return -1;
  QtDialogView view(std::move(*dialog), &library, shell, parent);
  view.SetPrompts(prompts);
  view.setModal(true);
  if (!view.Start(controller)) return -1;
  return view.RunModalLoop();
}

}  // namespace klm::ui::qt
