#include "driver-ui/document_properties.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "driver-ui/devmode_merge.h"
#include "driver-ui/driver_test_fixtures.h"
#include "driver-ui/printer_context.h"
#include "driver-ui/user_formats.h"
#include "platform/spooler.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

using testing::ShippedMachine;

constexpr std::uint8_t kUntouched = 0xAB;
using OutputBuffer = std::array<std::uint8_t, 600>;

OutputBuffer Fresh() {
  OutputBuffer b;
  b.fill(kUntouched);
  return b;
}
bool Untouched(const OutputBuffer& b) {
  for (auto byte : b) if (byte != kUntouched) return false;
  return true;
}
Devmode Read(const OutputBuffer& b) {
  Devmode d;
  std::memcpy(&d, b.data(), sizeof d);
  return d;
}

UserFormat Format(const char* name, std::uint8_t group, std::int32_t base_id) {
  UserFormat f;
  std::memset(&f, 0, sizeof f);
  std::strncpy(f.name, name, sizeof f.name - 1);
  f.group = group;
  f.base_paper_id = base_id;
  f.length_hundredth_mm = 50000;
  f.feed_hundredth_mm = 300;
  return f;
}

class DocumentProperties : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = platform::OpenPrinter(testing::kPrinterName);
    ASSERT_TRUE(opened);
    printer_ = *opened;
    auto context = CreateContext(printer_, std::nullopt);
    ASSERT_TRUE(context);
    defaults_ = (*context)->working;
    continuous_id_ = -1;
    for (const auto& e : (*context)->catalogue.Entries()) {
      if (e.Length == 0 && e.Group == 0 && e.Split == 0) { continuous_id_ = e.PaperId; break; }
    }
    DestroyContext(*context);
  }
  void TearDown() override { platform::ClosePrinter(printer_); }

  std::int32_t NoPrompt(OutputBuffer& out, const void* input, std::uint32_t mode = DM_COPY) {
    return driver::DocumentProperties(nullptr, printer_, u"LM-7100", out.data(), input, mode);
  }
  std::int32_t Direct(DocumentPropertyHeader& header) {
    return DocumentPropertySheets(nullptr, reinterpret_cast<std::intptr_t>(&header));
  }
  DocumentPropertyHeader Header(OutputBuffer& out, const void* input, std::uint32_t mode,
                                std::uint32_t size = kDriverDevmodeSize) {
    DocumentPropertyHeader h{};
    h.cbSize = sizeof h;
    h.hPrinter = printer_;
    h.pdmIn = input;
    h.pdmOut = out.data();
    h.cbOut = size;
    h.fMode = mode;
    return h;
  }

  ShippedMachine machine_;
  platform::PrinterHandle* printer_ = nullptr;
  Devmode defaults_;
  std::int16_t continuous_id_ = -1;
};

TEST_F(DocumentProperties, SizeQueriesAnswer496AndTouchNothing) {
  OutputBuffer out = Fresh();
  EXPECT_EQ(NoPrompt(out, nullptr, 0), 496);
  EXPECT_EQ(driver::DocumentProperties(nullptr, printer_, nullptr, nullptr, nullptr, DM_COPY), 496);
  EXPECT_EQ(AdvancedDocumentProperties(nullptr, printer_, nullptr, nullptr, nullptr), 496);
  auto header = Header(out, nullptr, 0);
  EXPECT_EQ(Direct(header), 496);
  header = Header(out, nullptr, DM_COPY);
  header.pdmOut = nullptr;
  EXPECT_EQ(Direct(header), 496);
  EXPECT_TRUE(Untouched(out));
}

TEST_F(DocumentProperties, PromptsWithoutTheSheetServiceFail) {
  // No property-sheet service is installed in this machine root.
  OutputBuffer out = Fresh();
  EXPECT_EQ(NoPrompt(out, nullptr, DM_PROMPT | DM_COPY), -1) << "a sheet that never ran is no IDOK";
  EXPECT_EQ(AdvancedDocumentProperties(nullptr, printer_, u"LM-7100", out.data(), nullptr), 0);
  EXPECT_TRUE(Untouched(out));
}

TEST_F(DocumentProperties, WithoutInputTheWorkingSettingsAreHandedOut) {
  OutputBuffer out = Fresh();
  ASSERT_EQ(NoPrompt(out, nullptr), 1);
  Devmode expected = defaults_;
  expected.priv.Ext.ExtRequest = 0;
  EXPECT_EQ(std::memcmp(out.data(), &expected, sizeof expected), 0);
  for (std::size_t i = kDriverDevmodeSize; i < out.size(); ++i) ASSERT_EQ(out[i], kUntouched) << i;
}

TEST_F(DocumentProperties, AnApplicationsRequestIsAppliedAndClearedInTheOutput) {
  Devmode in = defaults_;
  in.priv.Ext.ExtRequest = EXT_CUT_FLAGS;
  in.priv.Ext.ExtCutFlags = CUT_MIRROR | CUT_TAIL;
  in.pub.dmCopies = 12;
  OutputBuffer out = Fresh();
  ASSERT_EQ(NoPrompt(out, &in, DM_UPDATE | DM_COPY), 1);
  const Devmode got = Read(out);
  EXPECT_EQ(got.priv.Ext.ExtRequest, 0);
  EXPECT_EQ(got.priv.Mirror, 1);
  EXPECT_EQ(got.priv.TailCut, 1);
  EXPECT_EQ(got.pub.dmCopies, 12);
}

TEST_F(DocumentProperties, AnOlderCallersDevmodeKeepsItsShape) {
  // A DEVMODE of the 188-byte version followed by the driver's private part.
  std::vector<std::uint8_t> in(188 + 276);
  std::memcpy(in.data(), &defaults_.pub, 188);
  std::memcpy(in.data() + 188, &defaults_.priv, 276);
  in[64] = 0x20, in[65] = 0x03;  // dmSpecVersion 0x0320
  in[68] = 188, in[69] = 0;
  in[188 + 2] = EXT_CUT_FLAGS;   // ExtRequest
  OutputBuffer out = Fresh();
  ASSERT_EQ(NoPrompt(out, in.data()), 1);
  EXPECT_EQ(out[64] | out[65] << 8, 0x0320);
  EXPECT_EQ(out[68] | out[69] << 8, 188);
  EXPECT_EQ(out[70] | out[71] << 8, 276);
  PrivDevmode priv;
  std::memcpy(&priv, out.data() + 188, sizeof priv);
  EXPECT_EQ(priv.Signature, kPrivSignature);
  EXPECT_EQ(priv.Ext.ExtRequest, 0) << "cleared where the caller's private part lies";
  for (std::size_t i = 188 + 276; i < out.size(); ++i) ASSERT_EQ(out[i], kUntouched) << i;
}

TEST_F(DocumentProperties, FailuresLeaveTheOutputUntouched) {
  // dmSize 100 with dmSpecVersion 0: the output cannot be given that shape.
  std::vector<std::uint8_t> odd(100 + 276, 0);
  odd[68] = 100;
  odd[70] = 276 & 0xFF, odd[71] = 276 >> 8;
  struct Case {
    const char* what;
    void* printer;
    const void* input;
    std::uint32_t mode;
  } cases[] = {
      {"no printer", nullptr, nullptr, DM_COPY},
      {"output that cannot take the caller's shape", printer_, odd.data(), DM_COPY},
      {"same with update", printer_, odd.data(), DM_UPDATE},
  };
  for (const auto& c : cases) {
    OutputBuffer out = Fresh();
    EXPECT_EQ(driver::DocumentProperties(nullptr, c.printer, nullptr, out.data(), c.input, c.mode), -1) << c.what;
    EXPECT_TRUE(Untouched(out)) << c.what;
  }
  // Without a write bit the output is never written, even on success.
  OutputBuffer out = Fresh();
  EXPECT_EQ(NoPrompt(out, nullptr, DM_ADVANCED), 1);
  EXPECT_TRUE(Untouched(out));
}

TEST_F(DocumentProperties, ADirectCallerMustStateAnOutputOfFullSize) {
  for (std::uint32_t mode : {DM_COPY, DM_UPDATE}) {
    OutputBuffer out = Fresh();
    auto header = Header(out, nullptr, mode, 400);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(Direct(header), -1);
    EXPECT_EQ(header.cbOut, 496u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(Untouched(out));

    header = Header(out, nullptr, mode);
    EXPECT_EQ(Direct(header), 1);
    EXPECT_EQ(Read(out).pub.dmSize, 220);
  }
  OutputBuffer out = Fresh();
  auto header = Header(out, nullptr, DM_COPY);
  header.cbSize = 20;
  EXPECT_EQ(Direct(header), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DocumentPropertySheets(nullptr, 0), -1);
  EXPECT_TRUE(Untouched(out));
}

TEST_F(DocumentProperties, UserFormatPaperSizeNamesOnlyFormatsOfTheGroup) {
  const UserFormat formats[] = {Format("A", 0, 366), Format("B", 1, 366), Format("C", 0, 366)};
  ASSERT_TRUE(WriteUserFormats(formats));
  struct Case {
    const char* what;
    std::int16_t paper;
    std::uint8_t number, group;
    std::uint16_t driver_extra;
    std::int16_t expected;
  } cases[] = {
      {"second of group 0", 366, 2, 0, 276, 318},
      {"first of group 0", 400, 1, 0, 276, 317},
      {"only one in group 1", 366, 1, 1, 276, 317},
      {"beyond group 1", 366, 2, 1, 276, 366},
      {"beyond group 0", 366, 3, 0, 276, 366},
      {"far beyond", 366, 255, 0, 276, 366},
      {"none selected", 366, 0, 0, 276, 366},
      {"custom size", 256, 1, 0, 276, 256},
      {"private part without the fields", 366, 1, 0, 200, 366},
  };
  for (const auto& c : cases) {
    Devmode d = defaults_;
    d.pub.dmPaperSize = c.paper;
    d.pub.dmDriverExtra = c.driver_extra;
    d.priv.UserFormatNo = c.number;
    d.priv.PaperGroup = c.group;
    ApplyUserFormatPaperSize(d.Bytes());
    EXPECT_EQ(d.pub.dmPaperSize, c.expected) << c.what;
  }
}

TEST_F(DocumentProperties, NoOutputNamesAUserFormatThatIsNotThere) {
  const UserFormat formats[] = {Format("A", 0, continuous_id_), Format("B", 0, continuous_id_)};
  ASSERT_NE(continuous_id_, -1);
  ASSERT_TRUE(WriteUserFormats(formats));
  for (std::int16_t paper : {366, 256, 317, 318, 319, 336, 337, 999}) {
    for (std::uint8_t number : {0, 1, 2, 3, 20, 255}) {
      Devmode in = defaults_;
      in.pub.dmPaperSize = paper;
      in.priv.UserFormatNo = number;
      OutputBuffer out = Fresh();
      ASSERT_EQ(NoPrompt(out, &in), 1);
      const Devmode got = Read(out);
      SCOPED_TRACE(::testing::Message() << "paper " << paper << ", format " << int{number});
      EXPECT_LE(got.priv.UserFormatNo, 2);
      if (got.pub.dmPaperSize >= 317 && got.pub.dmPaperSize <= 336) {
        EXPECT_LT(got.pub.dmPaperSize, 319);
        EXPECT_EQ(got.pub.dmPaperSize, 316 + got.priv.UserFormatNo);
      }
    }
  }
  // The second format asked for by its paper size is what comes back.
  Devmode in = defaults_;
  in.pub.dmPaperSize = 318;
  OutputBuffer out = Fresh();
  ASSERT_EQ(NoPrompt(out, &in), 1);
  EXPECT_EQ(Read(out).pub.dmPaperSize, 318);
  EXPECT_EQ(Read(out).priv.UserFormatNo, 2);
}

}  // namespace
}  // namespace klm::driver
