// The Qt view under Qt's offscreen platform (klm71_test sets QT_QPA_PLATFORM).
#include "ui/qt/qt_dialog_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <filesystem>
#include <thread>

#include "ui/headless_view.h"
#include "ui/printer_page/version_dialog.h"

namespace klm::ui::qt {
namespace {

using res::ControlKind;

QApplication& App() {
  static int argc = 1;
  static char name[] = "klm71_ui_qt_test";
  static char* argv[] = {name, nullptr};
  // Never a real display in tests, whatever the runner passed on.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

std::filesystem::path Bin() {
  const char* bin = std::getenv("KLM71_BUILD_BIN");
  return bin ? bin : ".";
}

// Runs the event loop until `done` holds or 5 s pass.
template <typename F>
bool SpinUntil(F done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

TEST(QtDialogView, VersionDialogShowsItsTextsAndPicture) {
  App();
  auto lib = res::ResourceLibrary::Open(Bin() / "KLM71r.dll");
  ASSERT_TRUE(lib.ok()) << lib.error().message;
  auto own = res::ResourceLibrary::Open(Bin() / "KLM71ui.res");
  ASSERT_TRUE(own.ok()) << own.error().message;
  RecordingShell shell;
  QtDialogView view(*lib->Dialog("DLG_VERSION"), &*lib, shell);
  VersionDialog dialog(Picture::FromBytes(101, *own->Bitmap(101)));
  ASSERT_TRUE(view.Start(dialog));
  view.show();
  QApplication::processEvents();

  EXPECT_EQ(view.Title(), *lib->LoadString(3013));
  EXPECT_EQ(view.Text(800), "Koravel LM-7100 printer driver");
  EXPECT_EQ(view.Text(801), "Version 6.2");
  EXPECT_EQ(view.Text(803), "For Windows Vista and later");

  const QImage shot = view.grab().toImage();
  const auto out = Bin().parent_path() / "screenshots";
  std::filesystem::create_directories(out);
  ASSERT_TRUE(shot.save(QString::fromStdString((out / "version_dialog.png").string())));
  // The picture is stretched into 806 (13,13 96x96): its centre is not the
  // dialog's background, and the white frame of 807 sits at 12,12.
  EXPECT_NE(shot.pixelColor(61, 61), shot.pixelColor(300, 150));
  EXPECT_EQ(shot.pixelColor(12, 50), QColor(Qt::white));

  // OK ends the dialog with IDOK.
  static_cast<QAbstractButton*>(view.Widget(IDOK))->click();
  EXPECT_TRUE(view.ended());
  EXPECT_EQ(view.result(), IDOK);
}

constexpr int kEdit = 10, kSpin = 11, kBar = 12, kTrack = 13, kCombo = 14, kRadioA = 15, kRadioB = 16;

res::DialogTemplate SignalTemplate() {
  res::DialogTemplate d;
  d.name = "SIGNALS";
  d.width = 300;
  d.height = 200;
  auto add = [&](int id, ControlKind kind, std::uint32_t flags = 0) {
    d.controls.push_back({id, kind, flags, {10, 10 + 20 * static_cast<int>(d.controls.size()), 120, 18}, 0, "", {}});
  };
  add(kEdit, ControlKind::Edit);
  add(kSpin, ControlKind::UpDown);
  add(kBar, ControlKind::HScrollBar);
  add(kTrack, ControlKind::TrackBar);
  add(kCombo, ControlKind::DropDownList, res::kSort);
  add(kRadioA, ControlKind::RadioButton, res::kGroup);
  add(kRadioB, ControlKind::RadioButton);
  return d;
}

class Recorder : public DialogController {
 public:
  bool OnInit() override {
    view().SetRange(kSpin, {0, 10});
    view().SetRange(kBar, {0, 100});
    view().SetRange(kTrack, {0, 20});
    view().AddItem(kCombo, "b");
    view().AddItem(kCombo, "a");
    return true;
  }
  void OnCommand(int id, Notify code) override { commands.emplace_back(id, code); }
  void OnScroll(int id, ScrollCode code, int pos) override { scrolls.emplace_back(id, code, pos); }
  void OnTimer(int timer) override {
    ++fired;
    view().KillTimer(timer);
  }
  void OnMessage(std::uint32_t message, std::uint64_t wparam, std::int64_t lparam) override {
    messages.emplace_back(message, wparam, lparam);
  }
  bool Has(int id, Notify code) const {
    return std::find(commands.begin(), commands.end(), std::make_pair(id, code)) != commands.end();
  }
  std::vector<std::pair<int, Notify>> commands;
  std::vector<std::tuple<int, ScrollCode, int>> scrolls;
  std::vector<std::tuple<std::uint32_t, std::uint64_t, std::int64_t>> messages;
  int fired = 0;
};

TEST(QtDialogView, QtSignalsBecomeTheControllersNotifications) {
  App();
  RecordingShell shell;
  QtDialogView view(SignalTemplate(), nullptr, shell);
  Recorder r;
  ASSERT_TRUE(view.Start(r));
  view.show();

  view.SetText(kEdit, "42");  // the program's text is reported too
  EXPECT_TRUE(r.Has(kEdit, Notify::EditChange));
  EXPECT_EQ(view.ItemText(kCombo, 0), "a");  // sorted

  auto* bar = static_cast<QScrollBar*>(view.Widget(kBar));
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_FALSE(r.scrolls.empty());
  EXPECT_EQ(r.scrolls.back(), std::make_tuple(kBar, ScrollCode::LineDown, 1));
  EXPECT_EQ(view.Pos(kBar), 0);  // a scroll bar waits for the controller
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(std::get<1>(r.scrolls.back()), ScrollCode::Bottom);

  auto* track = static_cast<QSlider*>(view.Widget(kTrack));
  track->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(std::get<1>(r.scrolls.back()), ScrollCode::PageDown);
  EXPECT_EQ(view.Pos(kTrack), track->pageStep());  // a track bar moves itself

  r.scrolls.clear();
  view.Widget(kSpin)->findChildren<QToolButton*>().front()->click();  // the up arrow
  ASSERT_EQ(r.scrolls.size(), 2u);
  EXPECT_EQ(r.scrolls[0], std::make_tuple(kSpin, ScrollCode::ThumbPosition, 1));
  EXPECT_EQ(std::get<1>(r.scrolls[1]), ScrollCode::EndScroll);

  auto* combo = static_cast<QComboBox*>(view.Widget(kCombo));
  view.SetCurSel(kCombo, 1);
  EXPECT_FALSE(r.Has(kCombo, Notify::SelChange));  // the program's selection is silent
  emit combo->activated(0);
  EXPECT_TRUE(r.Has(kCombo, Notify::SelChange));

  static_cast<QAbstractButton*>(view.Widget(kRadioA))->click();
  static_cast<QAbstractButton*>(view.Widget(kRadioB))->click();
  EXPECT_EQ(view.Check(kRadioA), BST_UNCHECKED);
  EXPECT_EQ(view.Check(kRadioB), BST_CHECKED);

  view.SetTimer(7, 10);
  EXPECT_TRUE(SpinUntil([&] { return r.fired > 0; }));
  EXPECT_EQ(r.fired, 1);

  std::thread worker([poster = view.GetPoster()] {
    for (int i = 0; i < 3; ++i) poster.Post(1224, 10, i);
  });
  worker.join();
  EXPECT_TRUE(SpinUntil([&] { return r.messages.size() == 3; }));
  EXPECT_EQ(std::get<2>(r.messages[2]), 2);

  view.close();  // the close box is IDCANCEL, which the recorder does not end on
  EXPECT_TRUE(r.Has(IDCANCEL, Notify::Clicked));
}

}  // namespace
}  // namespace klm::ui::qt
