// Pages drawn from a driver's own templates (DLGPAGE): the template's
// controls, the page controller's notifications, and the sheet's activation,
// apply and reset, against a small driver of our own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ui/sheet_host/headless_sheet.h"
#include "ui/sheet_host/sheet_host.h"

namespace klm::ui::sheet {
namespace {

using namespace klm::cpsui;

constexpr int kEdit = 1062, kCheck = 1065;

res::ResourceLibrary DriverLibrary() {
  res::LibraryBuilder builder;
  builder.AddString(1010, "en", "Layout");
  for (int number : {400, 401}) {
    res::DialogTemplate d;
    d.number = number;
    d.width = 200;
    d.height = 120;
    d.title = "template " + std::to_string(number);
    d.controls.push_back({kEdit, res::ControlKind::Edit, 0, {10, 10, 80, 20}, 0, "", {}});
    d.controls.push_back({kCheck, res::ControlKind::CheckBox, 0, {10, 40, 80, 20}, 0, "Collate", {}});
    builder.AddDialog(d);
  }
  return std::move(*res::ResourceLibrary::FromBytes(builder.Serialize(), "driver library"));
}

// A page procedure that records what it hears as "name:event".
class RecordingPage : public DialogPageProc {
 public:
  RecordingPage(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  bool OnInit() override {
    Note("init");
    view().SetText(kEdit, value);
    return true;
  }
  void OnEditChanged(int id) override {
    if (id == kEdit) value = view().Text(kEdit);
  }
  void OnClick(int id) override { Note("click " + std::to_string(id)); }
  void OnSetActive() override { Note("setactive"); }
  bool OnKillActive() override {
    Note("killactive");
    return allow_leave;
  }
  bool OnApply() override {
    Note(std::string("apply ") + (attached() ? "shown" : "hidden"));
    return allow_apply;
  }
  void OnReset() override { Note("reset"); }

  std::string value = "12";
  bool allow_leave = true, allow_apply = true;

 private:
  void Note(const std::string& event) { log_.push_back(name_ + ":" + event); }
  std::string name_;
  std::vector<std::string>& log_;
};

struct DialogDriver {
  res::ResourceLibrary library = DriverLibrary();
  std::vector<std::string> log;
  RecordingPage first{"first", log}, second{"second", log};
  std::u16string title = u"Doc", second_name = u"Extras";
  DlgPage records[2]{};
  ComPropSheetUi page{};
  const void* instance = &library;

  static DialogDriver* current;
  static std::int32_t Sheet(PropSheetUiInfo* info, std::intptr_t param) {
    DialogDriver& d = *current;
    switch (info->Reason) {
      case PROPSHEETUI_REASON_INIT: {
        d.records[0] = DlgPage{sizeof(DlgPage), 0, &d.first, reinterpret_cast<const char16_t*>(1010), 0, 400};
        d.records[1] = DlgPage{sizeof(DlgPage), 0, &d.second, d.second_name.data(), 0, 401};
        d.page.cbSize = sizeof d.page;
        d.page.hInstCaller = const_cast<void*>(d.instance);
        d.page.pDlgPage = d.records;
        d.page.cDlgPage = 2;
        d.page.pOptItemName = d.title.data();
        std::uint32_t added = 0;
        if (info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                  reinterpret_cast<std::intptr_t>(&d.page), reinterpret_cast<std::intptr_t>(&added)) <= 0)
          return -1;
        d.log.push_back("added " + std::to_string(added));
        return 1;
      }
      case PROPSHEETUI_REASON_SET_RESULT:
        info->Result = static_cast<std::uintptr_t>(reinterpret_cast<SetResultInfo*>(param)->Result);
        d.log.push_back("result " + std::to_string(info->Result));
        return 1;
      default: return 1;
    }
  }
};
DialogDriver* DialogDriver::current = nullptr;

class DialogPageTest : public ::testing::Test {
 protected:
  DialogPageTest() { DialogDriver::current = &driver; }
  ~DialogPageTest() override { DialogDriver::current = nullptr; }
  std::int32_t Run(std::function<void(HeadlessSheet&)> user) {
    sheet.OnShow(std::move(user));
    return RunPropertySheet(sheet, nullptr, &DialogDriver::Sheet, 0, &result);
  }
  DialogDriver driver;
  HeadlessSheet sheet;
  std::uint32_t result = 99;
};

TEST_F(DialogPageTest, PagesAreDrawnFromTheTemplatesAndTheirControllersHearThem) {
  const std::int32_t answer = Run([this](HeadlessSheet& s) {
    EXPECT_EQ(s.Frame()->ItemCount(kTabId), 2);
    EXPECT_EQ(s.Frame()->ItemText(kTabId, 0), "Layout");  // tab name by string id
    EXPECT_EQ(s.Frame()->ItemText(kTabId, 1), "Extras");
    HeadlessView& page = *s.Page();
    EXPECT_EQ(page.Text(kEdit), "12");
    EXPECT_EQ(page.Text(kCheck), "Collate");
    page.Type(kEdit, "30");
    page.Click(kCheck);
    s.Frame()->Select(kTabId, 1);
    EXPECT_EQ(s.Page()->Text(kEdit), "12");  // the second page's own controller
    s.Frame()->Click(IDOK);
  });
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(driver.first.value, "30");
  const std::vector<std::string> expected = {
      "added 2",           "first:init",   "first:setactive",  "first:click 1065", "first:killactive",
      "second:init",       "second:setactive", "first:apply hidden", "second:apply shown", "result 1"};
  EXPECT_EQ(driver.log, expected);
}

TEST_F(DialogPageTest, APageMayKeepTheSheetOnItAndRefuseTheApply) {
  driver.first.allow_leave = false;
  driver.first.allow_apply = false;
  Run([](HeadlessSheet& s) {
    s.Frame()->Select(kTabId, 1);
    EXPECT_EQ(s.Frame()->CurSel(kTabId), 0);  // still the first page
    EXPECT_EQ(s.Page()->Text(kEdit), "12");
    s.Frame()->Click(IDOK);
    EXPECT_FALSE(s.Frame()->ended());
    s.Frame()->Click(IDCANCEL);
  });
  EXPECT_EQ(result, 0u);
  // Only the page that was shown hears the reset.
  EXPECT_EQ(std::count(driver.log.begin(), driver.log.end(), "first:reset"), 1);
  EXPECT_EQ(std::count(driver.log.begin(), driver.log.end(), "second:reset"), 0);
  EXPECT_EQ(std::count(driver.log.begin(), driver.log.end(), "second:init"), 0);
}

TEST_F(DialogPageTest, RecordsTheServiceCannotShowRefuseTheAdd) {
  struct Case {
    const char* what;
    std::function<void(DialogDriver&)> spoil;
  } cases[] = {
      {"no library", [](DialogDriver& d) { d.instance = nullptr; }},
      {"no controller", [](DialogDriver& d) { d.records[0].DlgProc = nullptr; }},
      {"missing template", [](DialogDriver& d) { d.records[1].DlgTemplateID = 999; }},
      {"short record", [](DialogDriver& d) { d.records[1].cbSize = 8; }},
  };
  for (const Case& c : cases) {
    DialogDriver d;
    DialogDriver::current = &d;
    // The spoil runs after INIT filled the records: wrap the sheet function.
    static std::function<void(DialogDriver&)> spoil;
    spoil = c.spoil;
    auto sheet_fn = [](PropSheetUiInfo* info, std::intptr_t param) -> std::int32_t {
      DialogDriver& dd = *DialogDriver::current;
      if (info->Reason != PROPSHEETUI_REASON_INIT) return DialogDriver::Sheet(info, param);
      // Fill the records as Sheet does, spoil them, then add.
      dd.records[0] = DlgPage{sizeof(DlgPage), 0, &dd.first, nullptr, 0, 400};
      dd.records[1] = DlgPage{sizeof(DlgPage), 0, &dd.second, nullptr, 0, 401};
      dd.page.cbSize = sizeof dd.page;
      dd.page.pDlgPage = dd.records;
      dd.page.cDlgPage = 2;
      spoil(dd);
      dd.page.hInstCaller = const_cast<void*>(dd.instance);
      std::uint32_t added = 7;
      const auto answer = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                                reinterpret_cast<std::intptr_t>(&dd.page),
                                                reinterpret_cast<std::intptr_t>(&added));
      dd.log.push_back("added " + std::to_string(added));
      return answer > 0 ? 1 : -1;
    };
    HeadlessSheet s;
    std::uint32_t r = 99;
    EXPECT_EQ(RunPropertySheet(s, nullptr, sheet_fn, 0, &r), ERR_CPSUI_GETLASTERROR) << c.what;
    EXPECT_FALSE(s.shown()) << c.what;
    EXPECT_EQ(d.log, std::vector<std::string>{"added 0"}) << c.what;
  }
  DialogDriver::current = &driver;
}

}  // namespace
}  // namespace klm::ui::sheet
