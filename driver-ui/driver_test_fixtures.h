// Papers, models and a machine root with the shipped catalogue, shared by the
// driver core's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "driver-ui/fixed_text.h"
#include "driver-ui/paper_catalogue.h"
#include "platform/locale.h"
#include "platform/machine_root.h"
#include "platform/spooler.h"
#include "platform/testing/temp_root.h"

namespace klm::driver::testing {

inline PaperRecord Paper(std::int16_t id, std::int16_t width, std::int16_t length,
                         std::int16_t type = 11) {
  PaperRecord p;
  std::memset(&p, 0, sizeof p);
  auto& h = p.head;
  h.nType = type;
  h.nPaperSize = id;
  h.nPaperWidth = width;
  h.nImageAreaWidth = static_cast<std::int16_t>(width - 30);
  h.nPaperWidthRes = static_cast<std::int16_t>(width * 300 / 254);
  h.nImageAreaWidthRes = static_cast<std::int16_t>((width - 30) * 300 / 254);
  h.nPaperLength = length;
  h.nImageAreaLength = length ? static_cast<std::int16_t>(length - 30) : 0;
  h.nPaperLengthRes = static_cast<std::int16_t>(length * 300 / 254);
  h.nImageAreaLengthRes = length ? static_cast<std::int16_t>((length - 30) * 300 / 254) : 0;
  h.wPinOffsetLeft = 82;
  h.wPinOffsetRight = 49;
  return p;
}

inline ModelRecord Model(std::int16_t default_paper = 366) {
  ModelRecord m;
  std::memset(&m, 0, sizeof m);
  m.bySeriesCode = '5';
  m.byModelCode = '1';
  SetField(m.dmDeviceName, u"Koravel LM-7100");
  m.nDefaultPaperSize = default_paper;
  m.nDefaultPaperLength = 1528;
  m.nDefaultPaperLengthRes = 1805;
  m.wXResolution = 300;
  m.wYResolution = 300;
  return m;
}

inline const char* kDriverName = "Koravel LM-7100";
inline const char* kPrinterName = "LM-7100";

// A fresh machine root with a metric, code page 1252 user, the paper-data
// library and the shipped preset catalogue compiled into the driver's folder
// "3", the driver installed and printer "LM-7100" added.
class ShippedMachine {
 public:
  ShippedMachine() {
    setenv("KLM71_ADMIN", "1", 1);
    (void)platform::SetLocaleOverride("measure", "0");
    (void)platform::SetLocaleOverride("country", "49");
    (void)platform::SetLocaleOverride("codepage", "1252");
    const auto dir = platform::DriverDataDirectory();
    std::filesystem::create_directories(dir);
    const std::filesystem::path bin = std::getenv("KLM71_BUILD_BIN");
    std::filesystem::copy_file(bin / "KLM71i6.so", dir / "KLM71i6.so");
    data_file_ = dir / "klm71ad.qmd";
    const std::string compile = "'" + (bin / "KLM71pc").string() + "' /S /L='" +
                                (root_.path() / "pc.log").string() + "' '" KLM71_DATA_SOURCE_DIR
                                "/klm71ad.txt' '" + data_file_.string() + "'";
    EXPECT_EQ(std::system(compile.c_str()), 0) << compile;
    EXPECT_TRUE(platform::AddPrinterDriver(platform::DriverInfo{
        kDriverName, "Windows x64", (dir / "KLM71.so").string(), data_file_.string(),
        (dir / "KLM71ui.so").string(), "", {}}));
    EXPECT_TRUE(platform::AddPrinter({kPrinterName, kDriverName, "COM1:", platform::PRINTER_ATTRIBUTE_LOCAL}));
  }
  ~ShippedMachine() { unsetenv("KLM71_ADMIN"); }
  const std::filesystem::path& data_file() const { return data_file_; }
  const std::filesystem::path& root() const { return root_.path(); }

 private:
  klm::testing::TempRoot root_;
  std::filesystem::path data_file_;
};

// Little-endian field reads over raw bytes, independent of the structures.
inline std::uint32_t ReadLe(const std::uint8_t* p, int width) {
  std::uint32_t v = 0;
  for (int i = 0; i < width; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}

}  // namespace klm::driver::testing
