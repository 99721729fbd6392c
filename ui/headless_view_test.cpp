#include "ui/headless_view.h"

#include <gtest/gtest.h>

#include <thread>

namespace klm::ui {
namespace {

using res::ControlKind;

constexpr int kEdit = 1062, kSpin = 1054, kBar = 430, kTrack = 1039, kProgress = 1025, kRadioA = 1052,
              kRadioB = 1053, kCheck = 1065, kList = 1019, kApply = 3, kStart = 1016;
constexpr std::uint32_t kProgressMessage = 1224;

res::DialogTemplate Template() {
  res::DialogTemplate d;
  d.name = "TEST";
  d.title = "Test";
  d.width = 300;
  d.height = 200;
  auto add = [&](int id, ControlKind kind, std::uint32_t flags = 0) {
    d.controls.push_back({id, kind, flags, {0, 0, 10, 10}, 0, "", {}});
  };
  add(kEdit, ControlKind::Edit);
  add(kSpin, ControlKind::UpDown);
  add(kBar, ControlKind::HScrollBar);
  add(kTrack, ControlKind::TrackBar);
  add(kProgress, ControlKind::ProgressBar);
  add(kRadioA, ControlKind::RadioButton, res::kGroup);
  add(kRadioB, ControlKind::RadioButton);
  add(kCheck, ControlKind::CheckBox);
  add(kList, ControlKind::DropDownList, res::kSort);
  add(kApply, ControlKind::Button, res::kDisabled);
  add(kStart, ControlKind::Button);
  add(IDOK, ControlKind::DefButton);
  add(IDCANCEL, ControlKind::Button);
  return d;
}

// A dialog in the style of the package's sheets: a clamped number edit with
// an up-down, a scroll bar it moves itself, a pending-edit timer and a worker
// that reports progress by posting messages.
class SampleController : public DialogController {
 public:
  bool OnInit() override {
    view().SetRange(kSpin, {0, 1});
    view().SetRange(kBar, {0, 50});
    view().SetRange(kTrack, {-20, 20});
    view().SetText(kEdit, "5");
    view().AddItem(kList, "9600");
    view().AddItem(kList, "115200");
    view().SetCurSel(kList, 0);
    return true;
  }
  void OnCommand(int id, Notify code) override {
    DialogController::OnCommand(id, code);
    view().Enable(kApply, value != 5);  // after every command, like an Apply button
  }
  void OnEditChanged(int id) override {
    if (id != kEdit) return;
    ++edit_changes;
    const std::string text = view().Text(kEdit);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 2) {
      view().SetText(kEdit, last_text);  // restores through the same notification
      return;
    }
    last_text = text;
    value = std::stoi(text);
    if (!committing) view().SetTimer(1, 1500);
  }
  void OnKillFocus(int id) override {
    if (id != kEdit) return;
    view().KillTimer(1);
    Clamp();
  }
  void OnTimer(int timer) override {
    view().KillTimer(timer);
    Clamp();
  }
  bool OnUpDown(int id, int delta) override {
    if (id != kSpin) return false;
    value = std::clamp(value + delta, 1, 99);
    view().SetText(kEdit, std::to_string(value));
    return true;  // the text is the state; the arrow's own position stays
  }
  void OnScroll(int id, ScrollCode code, int pos) override {
    scrolls.emplace_back(id, code, pos);
    if (id != kBar) return;
    int v = view().Pos(kBar);
    if (code == ScrollCode::LineDown) ++v;
    if (code == ScrollCode::ThumbTrack) v = pos;
    view().SetPos(kBar, v);
  }
  void OnClick(int id) override {
    if (id == kStart) {
      worker = std::thread([poster = view().GetPoster()] {
        for (int p : {10, 50, 100}) poster.Post(kProgressMessage, 10, p);
        poster.Post(kProgressMessage, 100, 0);
      });
      return;
    }
    if (id == IDOK && view().prompts().MessageBox("Save?", "", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    DialogController::OnClick(id);
  }
  void OnMessage(std::uint32_t message, std::uint64_t wparam, std::int64_t lparam) override {
    if (message != kProgressMessage) return;
    if (wparam == 10) view().SetPos(kProgress, static_cast<int>(lparam));
    if (wparam == 100) {
      worker.join();
      view().EndDialog(1);
    }
  }
  void OnDestroy() override {
    if (worker.joinable()) worker.join();
  }
  void Clamp() {
    value = std::clamp(value, 1, 99);
    committing = true;  // the text set here echoes through OnEditChanged
    if (view().Text(kEdit) != std::to_string(value)) view().SetText(kEdit, std::to_string(value));
    committing = false;
  }

  int value = 0;
  bool committing = false;
  int edit_changes = 0;
  std::string last_text = "5";
  std::vector<std::tuple<int, ScrollCode, int>> scrolls;
  std::thread worker;
};

class HeadlessViewTest : public ::testing::Test {
 protected:
  HeadlessViewTest() : view(Template(), nullptr, prompts, shell) { EXPECT_TRUE(view.Start(c)); }
  HeadlessPrompts prompts;
  RecordingShell shell;
  SampleController c;
  HeadlessView view;
};

TEST_F(HeadlessViewTest, TextSetByTheProgramPassesThroughTheEditHandlers) {
  EXPECT_EQ(c.value, 5);  // OnInit's SetText reached OnEditChanged
  EXPECT_EQ(c.edit_changes, 1);
  view.Type(kEdit, "12");
  EXPECT_EQ(c.value, 12);
  EXPECT_TRUE(view.IsEnabled(kApply));
  view.Type(kEdit, "1x");  // refused: the old text comes back through the handler
  EXPECT_EQ(view.Text(kEdit), "12");
  EXPECT_EQ(c.value, 12);
  view.Type(kEdit, "5");
  EXPECT_FALSE(view.IsEnabled(kApply));  // changed back: Apply off again
}

TEST_F(HeadlessViewTest, PendingEditCommitsOnTimerOrLostFocus) {
  view.Type(kEdit, "0");
  EXPECT_EQ(view.TimerPeriod(1), 1500);
  EXPECT_TRUE(view.FireTimer(1));
  EXPECT_EQ(view.Text(kEdit), "1");
  EXPECT_TRUE(view.timers().empty());
  EXPECT_FALSE(view.FireTimer(1));  // a killed timer does not fire

  view.Type(kEdit, "0");
  view.MoveFocus(kList);  // leaving the edit clamps it at once
  EXPECT_EQ(view.Text(kEdit), "1");
  EXPECT_TRUE(view.timers().empty());
}

TEST_F(HeadlessViewTest, UpDownStepsThroughTheControllerAndCanKeepItsPosition) {
  for (int i = 0; i < 3; ++i) view.StepUpDown(kSpin, +1);
  EXPECT_EQ(view.Text(kEdit), "8");
  EXPECT_EQ(view.Pos(kSpin), 0);  // refused: position kept
  EXPECT_TRUE(c.scrolls.empty());
}

TEST_F(HeadlessViewTest, ScrollBarsWaitForTheControllerTrackBarsMoveThemselves) {
  view.Scroll(kBar, ScrollCode::LineDown);
  view.Scroll(kBar, ScrollCode::ThumbTrack, 40);
  view.Scroll(kBar, ScrollCode::ThumbTrack, 80);  // clamped by SetPos
  EXPECT_EQ(view.Pos(kBar), 50);
  view.Scroll(kTrack, ScrollCode::PageDown);
  EXPECT_EQ(view.Pos(kTrack), 8);  // page = a fifth of the range
  view.Scroll(kTrack, ScrollCode::Top);
  ASSERT_EQ(c.scrolls.size(), 5u);
  EXPECT_EQ(c.scrolls.back(), std::make_tuple(kTrack, ScrollCode::Top, -20));
}

TEST_F(HeadlessViewTest, ButtonsFollowThePlatformRules) {
  view.Click(kRadioA);
  view.Click(kRadioB);
  EXPECT_EQ(view.Check(kRadioA), BST_UNCHECKED);
  EXPECT_EQ(view.Check(kRadioB), BST_CHECKED);
  view.Click(kCheck);
  EXPECT_EQ(view.Check(kCheck), BST_CHECKED);
  view.Click(kCheck);
  EXPECT_EQ(view.Check(kCheck), BST_UNCHECKED);
  view.Enable(kCheck, false);
  EXPECT_FALSE(view.Click(kCheck));  // disabled controls take no clicks
  EXPECT_EQ(view.Check(kCheck), BST_UNCHECKED);

  view.Type(kEdit, "7");
  prompts.AnswerMessage(IDNO);
  view.Click(IDOK);
  EXPECT_FALSE(view.ended());
  ASSERT_EQ(prompts.asked().size(), 1u);
  EXPECT_EQ(prompts.asked()[0].style, MB_YESNO | MB_ICONQUESTION);
  view.CloseBox();  // the close box is IDCANCEL
  EXPECT_TRUE(view.ended());
  EXPECT_EQ(view.result(), IDCANCEL);
}

TEST_F(HeadlessViewTest, SortedListsInsertInOrderAndKeepTheSelection) {
  EXPECT_EQ(view.AddItem(kList, "19200"), 1);
  EXPECT_EQ(view.CurSel(kList), 0);
  EXPECT_EQ(view.ItemText(kList, 2), "9600");
  view.SetItemData(kList, 2, 9600);
  view.DeleteItem(kList, 0);
  EXPECT_EQ(view.ItemData(kList, 1), 9600);
  EXPECT_EQ(view.CurSel(kList), -1);
  EXPECT_TRUE(view.Select(kList, 1));
  EXPECT_EQ(view.Text(kList), "9600");
  EXPECT_FALSE(view.Select(kList, 5));
}

TEST_F(HeadlessViewTest, WorkerPostsArriveInOrderOnTheDialogThread) {
  view.Click(kStart);
  int delivered = 0;
  while (!view.ended() && delivered < 4) delivered += view.WaitAndDeliver(std::chrono::seconds(5));
  EXPECT_EQ(view.Pos(kProgress), 100);
  EXPECT_TRUE(view.ended());
  EXPECT_EQ(view.result(), 1);
}

TEST(MessagePort, PostsAfterTheDialogClosedAreDropped) {
  HeadlessPrompts prompts;
  RecordingShell shell;
  Poster poster;
  {
    SampleController c;
    HeadlessView view(Template(), nullptr, prompts, shell);
    ASSERT_TRUE(view.Start(c));
    poster = view.GetPoster();
    EXPECT_TRUE(poster.Post(kProgressMessage, 10, 1));
  }
  EXPECT_FALSE(poster.Post(kProgressMessage, 10, 2));
  EXPECT_FALSE(Poster().Post(1));
}

// A modal child with its own controller, answered by the test.
class AskName : public DialogController {
 public:
  bool OnInit() override {
    view().SetText(800, "name?");
    return true;
  }
  void OnClick(int id) override {
    if (id == IDOK) name = view().Text(801);
    DialogController::OnClick(id);
  }
  std::string name;
};

TEST(HeadlessModal, ChildDialogsRunFromTheLibraryAndAnswerTheirResult) {
  res::DialogTemplate child;
  child.name = "ASK";
  child.controls.push_back({800, ControlKind::Static, 0, {}, 0, "", {}});
  child.controls.push_back({801, ControlKind::Edit, 0, {}, 0, "", {}});
  child.controls.push_back({IDOK, ControlKind::DefButton, 0, {}, 0, "", {}});
  res::LibraryBuilder b;
  b.AddDialog(child);
  auto lib = res::ResourceLibrary::FromBytes(b.Serialize());
  ASSERT_TRUE(lib.ok());

  HeadlessPrompts prompts;
  RecordingShell shell;
  DialogController parent_controller;
  HeadlessView parent(Template(), &*lib, prompts, shell);
  ASSERT_TRUE(parent.Start(parent_controller));

  parent.OnModal([](HeadlessView& v, DialogController&) {
    EXPECT_EQ(v.Text(800), "name?");
    v.Type(801, "LM-7100");
    v.Click(IDOK);
    return 0;
  });
  AskName ask;
  EXPECT_EQ(parent.RunModal("ask", ask), IDOK);
  EXPECT_EQ(ask.name, "LM-7100");
  EXPECT_FALSE(ask.attached());

  parent.OnModal(nullptr);  // nobody answers: closed with the close box
  EXPECT_EQ(parent.RunModal("ASK", ask), IDCANCEL);
  EXPECT_EQ(parent.RunModal("MISSING", ask), -1);
  EXPECT_EQ(parent.modal_runs(), (std::vector<std::string>{"ask", "ASK", "MISSING"}));
}

TEST(PictureButton, StatesFollowMouseAndFocus) {
  PictureButtonStateMachine b;
  struct Step {
    void (PictureButtonStateMachine::*event)();
    ButtonState state;
  };
  const Step steps[] = {
      {&PictureButtonStateMachine::MouseMove, ButtonState::Hot},
      {&PictureButtonStateMachine::LeftDown, ButtonState::Pressed},
      {&PictureButtonStateMachine::MouseMove, ButtonState::Pressed},  // still down
      {&PictureButtonStateMachine::LeftUp, ButtonState::Normal},
      {&PictureButtonStateMachine::FocusIn, ButtonState::Hot},
      {&PictureButtonStateMachine::FocusOut, ButtonState::Normal},
      {&PictureButtonStateMachine::MouseMove, ButtonState::Hot},
      {&PictureButtonStateMachine::MouseLeave, ButtonState::Normal},
  };
  for (const Step& s : steps) {
    (b.*s.event)();
    EXPECT_EQ(b.state(), s.state);
  }
}

TEST(FilterString, SplitsPlatformFilters) {
  auto f = ParseFilterString("Text files (*.txt)|*.txt|All files|*.*|");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].second, "*.txt");
  EXPECT_EQ(f[1].first, "All files");
  EXPECT_EQ(ParseFilterString(std::string_view("A\0*.a\0\0", 7)).size(), 1u);
  EXPECT_TRUE(ParseFilterString("").empty());
}

}  // namespace
}  // namespace klm::ui
