// The sheet host against a small driver of our own: the protocol of the
// sheet function, option items kept in step with their controls, OK, Cancel
// and Apply, read-only pages and the callback's answers.
#include "ui/sheet_host/sheet_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/sheet_host/headless_sheet.h"

namespace klm::ui::sheet {
namespace {

using namespace klm::cpsui;

// A driver with one page: a header, a number 1-100, three states, a list, a
// check box and a callback button (user data 10 + index).
struct FakeDriver {
  std::vector<std::string> calls;
  std::uint16_t page_flags = CPSUIF_UPDATE_PERMISSION | CPSUIF_ABOUT_CALLBACK;
  std::uint16_t header_flags = PSUIHDRF_PROPTITLE;
  bool refuse_init = false;
  bool add_page = true;
  std::function<std::int32_t(CpsuiCbParam&)> on_callback;  // answers the page callback
  std::function<std::int32_t(CpsuiCbParam&)> on_button;

  void* service_handle = nullptr;
  ComPropSheetFn service = nullptr;
  std::u16string title = u"Fake";
  std::u16string texts[8] = {u"Header", u"Number", u"States", u"List", u"Check", u"Button", u"units", u"x"};
  OptParam number[2]{}, states[3]{}, list[3]{}, check[1]{}, button[1]{};
  OptType types[5]{};
  OptItem items[6]{};
  ComPropSheetUi page{};

  void Build() {
    auto type = [this](int i, std::uint8_t kind, OptParam* params, std::uint16_t count) {
      types[i] = OptType{sizeof(OptType), kind, 0, count, 0, params, 0, {}, {}};
      for (int k = 0; k < count; ++k) {
        params[k].cbSize = sizeof(OptParam);
        params[k].pData = texts[7].data();
      }
      return &types[i];
    };
    type(0, TVOT_UDARROW, number, 2);
    number[0].pData = texts[6].data();
    number[1].IconID = 1;
    number[1].lParam = 100;
    type(1, TVOT_3STATES, states, 3);
    type(2, TVOT_COMBOBOX, list, 3);
    type(3, TVOT_CHKBOX, check, 1);
    type(4, TVOT_PUSHBUTTON, button, 1);
    button[0].Style = PUSHBUTTON_TYPE_CALLBACK;
    button[0].pData = reinterpret_cast<void*>(&Button);
    for (int i = 0; i < 6; ++i) {
      items[i].cbSize = sizeof(OptItem);
      items[i].Level = 1;
      items[i].Flags = OPTIF_CALLBACK;
      items[i].UserData = 10 + static_cast<std::uintptr_t>(i);
      items[i].pName = texts[i].data();
      items[i].pOptType = i == 0 ? nullptr : &types[i - 1];
    }
    items[1].Sel = 5;
    page.cbSize = sizeof page;
    page.Flags = page_flags;
    page.UserData = reinterpret_cast<std::uintptr_t>(this);
    page.pfnCallBack = &Callback;
    page.pOptItem = items;
    page.cOptItem = 6;
    page.pDlgPage = reinterpret_cast<DlgPage*>(CPSUI_PDLGPAGE_PRINTERPROP);
    page.pOptItemName = title.data();
  }

  static FakeDriver* current;

  static std::int32_t Sheet(PropSheetUiInfo* info, std::intptr_t param) {
    FakeDriver& d = *current;
    switch (info->Reason) {
      case PROPSHEETUI_REASON_INIT: {
        d.calls.push_back("INIT");
        if (d.refuse_init) return -1;
        d.service = info->pfnComPropSheet;
        d.service_handle = info->hComPropSheet;
        d.Build();
        std::uint32_t added = 0;
        if (d.add_page &&
            d.service(d.service_handle, CPSFUNC_ADD_PCOMPROPSHEETUIW, reinterpret_cast<std::intptr_t>(&d.page),
                      reinterpret_cast<std::intptr_t>(&added)) <= 0)
          return -1;
        d.calls.push_back("pages " + std::to_string(d.service(d.service_handle, CPSFUNC_GET_PAGECOUNT, 0, 0)));
        return 1;
      }
      case PROPSHEETUI_REASON_GET_INFO_HEADER: {
        auto* h = reinterpret_cast<PropSheetUiInfoHeader*>(param);
        h->Flags = d.header_flags;
        h->pTitle = d.title.data();
        d.calls.push_back("HEADER");
        return 1;
      }
      case PROPSHEETUI_REASON_SET_RESULT: {
        auto* set = reinterpret_cast<SetResultInfo*>(param);
        info->Result = static_cast<std::uintptr_t>(set->Result);
        d.calls.push_back("SET_RESULT " + std::to_string(set->Result));
        return 1;
      }
      case PROPSHEETUI_REASON_DESTROY: d.calls.push_back("DESTROY"); return 1;
      default: return -1;
    }
  }

  static std::int32_t Callback(CpsuiCbParam* p) {
    FakeDriver& d = *current;
    std::string call = "cb " + std::to_string(p->Reason);
    if (p->Reason == CPSUICB_REASON_SEL_CHANGED)
      call += " " + std::to_string(p->pCurItem->UserData) + " " + std::to_string(p->OldSel) + "->" +
              std::to_string(p->pCurItem->Sel);
    d.calls.push_back(call);
    EXPECT_EQ(p->UserData, reinterpret_cast<std::uintptr_t>(&d));
    return d.on_callback ? d.on_callback(*p) : CPSUICB_ACTION_NONE;
  }

  static std::int32_t Button(CpsuiCbParam* p) {
    FakeDriver& d = *current;
    d.calls.push_back("button " + std::to_string(p->pCurItem->UserData));
    return d.on_button ? d.on_button(*p) : CPSUICB_ACTION_NONE;
  }
};
FakeDriver* FakeDriver::current = nullptr;

class SheetHostTest : public ::testing::Test {
 protected:
  SheetHostTest() { FakeDriver::current = &driver; }
  ~SheetHostTest() override { FakeDriver::current = nullptr; }
  std::int32_t Run(std::function<void(HeadlessSheet&)> user) {
    sheet.OnShow(std::move(user));
    return RunPropertySheet(sheet, nullptr, &FakeDriver::Sheet, 7, &result);
  }
  bool Has(const std::string& call) const {
    return std::find(driver.calls.begin(), driver.calls.end(), call) != driver.calls.end();
  }

  FakeDriver driver;
  HeadlessSheet sheet;
  std::uint32_t result = 99;
};

TEST_F(SheetHostTest, AcceptedSheetCallsTheDriverInOrder) {
  const std::int32_t answer = Run([](HeadlessSheet& s) {
    EXPECT_FALSE(s.Frame()->IsEnabled(kApplyId));  // nothing changed yet
    s.Page()->Type(s.Control(11, kValue), "42");
    EXPECT_TRUE(s.Frame()->IsEnabled(kApplyId));
    s.Frame()->Click(IDOK);
  });
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(sheet.title(), "Fake Properties");
  const std::vector<std::string> expected = {"INIT",   "pages 1", "HEADER", "cb 10", "cb 0 11 5->42",
                                             "cb 6", "SET_RESULT 1", "DESTROY"};
  EXPECT_EQ(driver.calls, expected);
  EXPECT_EQ(driver.items[1].Sel, 42);
}

TEST_F(SheetHostTest, ControlsAndItemsStayInStep) {
  Run([this](HeadlessSheet& s) {
    HeadlessView& page = *s.Page();
    const int edit = s.Control(11, kValue), updown = s.Control(11, kUpDown);
    EXPECT_EQ(page.Text(edit), "5");
    EXPECT_EQ(page.GetRange(updown), (Range{1, 100}));
    EXPECT_EQ(page.Text(s.Control(11, kUnit)), "units");
    // A number outside the range does not count while typing and is put
    // right when the edit loses the focus.
    page.Type(edit, "500");
    EXPECT_EQ(driver.items[1].Sel, 5);
    page.MoveFocus(s.Control(12, kValue));
    EXPECT_EQ(page.Text(edit), "5");
    page.StepUpDown(updown, +1);
    EXPECT_EQ(driver.items[1].Sel, 6);
    EXPECT_EQ(page.Text(edit), "6");

    page.Click(s.Control(12, kValue + 2));
    EXPECT_EQ(driver.items[2].Sel, 2);
    EXPECT_EQ(page.Check(s.Control(12, kValue)), BST_UNCHECKED);
    page.Select(s.Control(13, kValue), 1);
    EXPECT_EQ(driver.items[3].Sel, 1);
    page.Click(s.Control(14, kValue));
    EXPECT_EQ(driver.items[4].Sel, 1);
    page.Click(s.Control(15, kValue));
    s.Frame()->Click(IDCANCEL);
  });
  EXPECT_TRUE(Has("cb 0 12 0->2"));
  EXPECT_TRUE(Has("cb 0 13 0->1"));
  EXPECT_TRUE(Has("button 15"));
}

TEST_F(SheetHostTest, AnItemOutsideItsRangeShowsAndTakesTheNearestValue) {
  driver.on_callback = [](CpsuiCbParam& p) {
    if (p.Reason == CPSUICB_REASON_SETACTIVE) {
      p.pOptItem[1].Sel = 0;
      p.pOptItem[1].Flags |= OPTIF_CHANGED;
      return CPSUICB_ACTION_OPTIF_CHANGED;
    }
    return CPSUICB_ACTION_NONE;
  };
  Run([](HeadlessSheet& s) {
    EXPECT_EQ(s.Page()->Text(s.Control(11, kValue)), "1");
    s.Frame()->Click(IDOK);
  });
  EXPECT_EQ(driver.items[1].Sel, 1);
  EXPECT_FALSE(driver.items[1].Flags & OPTIF_CHANGED);
}

TEST_F(SheetHostTest, CancelRevertsWhatWasNotApplied) {
  struct Case {
    const char* name;
    bool apply_first;
    std::uint32_t result;
    std::int32_t sel;
  } cases[] = {
      {"cancel only", false, 0, 5},
      {"apply, change, cancel", true, 1, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    driver.calls.clear();
    Run([&c](HeadlessSheet& s) {
      s.Page()->Type(s.Control(11, kValue), "30");
      if (c.apply_first) {
        s.Frame()->Click(kApplyId);
        EXPECT_FALSE(s.Frame()->ended());
        EXPECT_FALSE(s.Frame()->IsEnabled(kApplyId));
        s.Page()->Type(s.Control(11, kValue), "31");
      }
      s.Frame()->Click(IDCANCEL);
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(driver.items[1].Sel, c.sel);
    EXPECT_TRUE(Has("cb 8"));
    EXPECT_EQ(Has("SET_RESULT 0"), !c.apply_first);
  }
}

TEST_F(SheetHostTest, ReadOnlyPageKeepsButtonsAndLosesAbout) {
  driver.page_flags = 0;
  Run([](HeadlessSheet& s) {
    HeadlessView& page = *s.Page();
    EXPECT_FALSE(page.IsEnabled(s.Control(11, kValue)));
    EXPECT_FALSE(page.IsEnabled(s.Control(12, kValue)));
    EXPECT_FALSE(page.IsEnabled(s.Control(13, kValue)));
    EXPECT_FALSE(page.Type(s.Control(11, kValue), "9"));
    EXPECT_TRUE(page.IsEnabled(s.Control(15, kValue)));
    EXPECT_FALSE(page.HasControl(kAboutId));
    s.Frame()->Click(IDOK);
  });
  EXPECT_EQ(driver.items[1].Sel, 5);
}

TEST_F(SheetHostTest, AboutButtonCallsTheCallback) {
  Run([](HeadlessSheet& s) {
    ASSERT_TRUE(s.Page()->HasControl(kAboutId));
    s.Page()->Click(kAboutId);
  });
  EXPECT_TRUE(Has("cb 9"));
}

TEST_F(SheetHostTest, ActivationMayDisableAnItem) {
  driver.on_callback = [](CpsuiCbParam& p) {
    if (p.Reason != CPSUICB_REASON_SETACTIVE) return CPSUICB_ACTION_NONE;
    p.pOptItem[5].Flags |= OPTIF_DISABLED | OPTIF_CHANGED;
    return CPSUICB_ACTION_OPTIF_CHANGED;
  };
  Run([](HeadlessSheet& s) {
    EXPECT_FALSE(s.Page()->IsEnabled(s.Control(15, kValue)));
    EXPECT_FALSE(s.Page()->Click(s.Control(15, kValue)));
  });
  EXPECT_FALSE(Has("button 15"));
}

TEST_F(SheetHostTest, ApplyRefusedKeepsTheSheetOpen) {
  driver.on_callback = [](CpsuiCbParam& p) {
    return p.Reason == CPSUICB_REASON_APPLYNOW ? CPSUICB_ACTION_NO_APPLY_EXIT : CPSUICB_ACTION_NONE;
  };
  Run([](HeadlessSheet& s) {
    s.Frame()->Click(IDOK);
    EXPECT_FALSE(s.Frame()->ended());
  });
  EXPECT_FALSE(Has("SET_RESULT 1"));
  EXPECT_EQ(result, 0u);
}

TEST_F(SheetHostTest, HeaderWithoutApplyHidesIt) {
  driver.header_flags = PSUIHDRF_NOAPPLYNOW;
  Run([](HeadlessSheet& s) {
    EXPECT_FALSE(s.Frame()->IsVisible(kApplyId));
    EXPECT_EQ(s.Frame()->Title(), "Fake");
  });
}

TEST_F(SheetHostTest, ButtonPressedThroughTheServiceEndsTheSheet) {
  driver.on_button = [this](CpsuiCbParam&) {
    EXPECT_EQ(driver.service(driver.service_handle, CPSFUNC_PRESS_BUTTON, PSBTN_OK, 0), 1);
    return CPSUICB_ACTION_NONE;
  };
  Run([](HeadlessSheet& s) {
    s.Page()->Click(s.Control(15, kValue));
    EXPECT_FALSE(s.Frame()->ended());  // the press arrives as a posted message
    s.Frame()->DeliverPosted();
    EXPECT_TRUE(s.Frame()->ended());
  });
  EXPECT_EQ(result, 1u);
}

TEST_F(SheetHostTest, SheetsThatCannotBeShownFail) {
  struct Case {
    const char* name;
    bool refuse_init, add_page, destroyed;
  } cases[] = {
      {"INIT refused", true, true, false},
      {"no page added", false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    driver.calls.clear();
    driver.refuse_init = c.refuse_init;
    driver.add_page = c.add_page;
    result = 99;
    EXPECT_EQ(Run([](HeadlessSheet&) { ADD_FAILURE() << "shown"; }), -1);
    EXPECT_EQ(result, 99u);
    EXPECT_EQ(Has("DESTROY"), c.destroyed);
  }
  EXPECT_EQ(RunPropertySheet(sheet, nullptr, nullptr, 0, &result), -1);
}

TEST(OptionPageTemplate, TextsAndRowsComeFromTheItems) {
  FakeDriver d;
  d.Build();
  d.items[4].Flags |= OPTIF_HIDE;
  const res::DialogTemplate t = BuildOptionPageTemplate(d.page, "PAGE0");
  EXPECT_EQ(t.title, "Device Settings");
  ASSERT_NE(t.Find(ItemControlId(0, kLabel)), nullptr);
  EXPECT_EQ(t.Find(ItemControlId(0, kLabel))->text, "Header");
  EXPECT_EQ(t.Find(ItemControlId(1, kUpDown))->buddy, ItemControlId(1, kValue));
  EXPECT_EQ(t.Find(ItemControlId(3, kValue))->items.size(), 3u);
  EXPECT_EQ(t.Find(ItemControlId(4, kValue)), nullptr);  // hidden item
  EXPECT_EQ(t.Find(ItemControlId(5, kValue))->kind, res::ControlKind::Button);
  // Resource numbers instead of texts, and null, read as nothing.
  EXPECT_EQ(ItemText(reinterpret_cast<const void*>(std::uintptr_t{1234})), "");
  EXPECT_EQ(ItemText(nullptr), "");
  EXPECT_EQ(ItemText(u"Gr\u00f6\u00dfe \U0001F5A8"), "Gr\xc3\xb6\xc3\x9f" "e \xf0\x9f\x96\xa8");
}

}  // namespace
}  // namespace klm::ui::sheet
