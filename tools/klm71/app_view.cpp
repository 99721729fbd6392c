#include "tools/klm71/app_view.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/spooler.h"

namespace klm::cli {

namespace {

using nlohmann::json;
namespace pf = klm::platform;

// The DEVMODE as an application's header describes it: the platform's public
// part, then the driver's private part with its application block first.
constexpr std::size_t kDevmodeBytes = 496;
constexpr std::size_t kPriv = 220;
namespace off {
constexpr std::size_t dmFields = 72, dmOrientation = 76, dmPaperSize = 78, dmPaperLength = 80, dmPaperWidth = 82,
                      dmCopies = 86, dmYResolution = 96, dmFormName = 102;
constexpr std::size_t ExtSize = kPriv + 0, ExtRequest = kPriv + 2, ExtValid = kPriv + 4, ExtPaperId = kPriv + 6,
                      ExtFeed = kPriv + 10, ExtSplit = kPriv + 12, ExtLength = kPriv + 18, ExtCutFlags = kPriv + 22,
                      UserFormatNo = kPriv + 214, LengthTenthMm = kPriv + 228, Unit = kPriv + 245,
                      Feed = kPriv + 258;
}  // namespace off
constexpr std::uint32_t DM_ORIENTATION = 0x1, DM_PAPERSIZE = 0x2, DM_PAPERLENGTH = 0x4, DM_PAPERWIDTH = 0x8,
                        DM_COPIES = 0x100;

std::uint32_t Get(const std::vector<std::uint8_t>& d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | d[at + static_cast<std::size_t>(i)];
  return v;
}
void Put(std::vector<std::uint8_t>& d, std::size_t at, int bytes, std::uint32_t v) {
  for (int i = 0; i < bytes; ++i) d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::string WideText(const char16_t* text, std::size_t max) {
  std::u16string s;
  for (std::size_t i = 0; i < max && text[i]; ++i) s.push_back(text[i]);
  return Utf8(s);
}
std::string WideAt(const std::vector<std::uint8_t>& d, std::size_t at, std::size_t chars) {
  std::vector<char16_t> text(chars);
  std::memcpy(text.data(), d.data() + at, chars * 2);
  return WideText(text.data(), chars);
}

int Fail(const std::string& message) {
  std::cerr << "klm71: " << message << "\n";
  return 1;
}

// The driver library and an open printer for one command.
class Driver {
 public:
  using CapsFn = std::uint32_t (*)(void*, const char16_t*, std::uint16_t, void*, const void*);
  using DocPropsFn = std::int32_t (*)(void*, void*, const char16_t*, void*, const void*, std::uint32_t);
  struct QueryInfo {
    std::uint16_t cbSize;
    std::uint16_t Level;
    void* hPrinter;
    const void* pDevMode;
    char16_t* pszErrorStr;
    std::uint32_t cchErrorStr;
    std::uint32_t cchNeeded;
  };
  static_assert(sizeof(QueryInfo) == 40);
  using QueryFn = int (*)(QueryInfo*);

  ~Driver() {
    if (printer_) pf::ClosePrinter(printer_);
    if (module_) (void)pf::FreeModule(module_);
  }

  Status Open(const std::string& printer) {
    auto opened = pf::OpenPrinter(printer);
    if (!opened) return opened.error();
    printer_ = *opened;
    name_ = std::u16string(printer.begin(), printer.end());
    auto module = pf::LoadModule(pf::DriverDataDirectory() / "KLM71ui.dll");
    if (!module)
      return MakeError(module.error().code, "cannot load the driver library (run \"klm71 install\"): " +
                                                module.error().message);
    module_ = *module;
    return {};
  }
  template <typename Fn>
  Fn Entry(const char* name) const {
    return reinterpret_cast<Fn>(pf::GetSymbol(module_, name));
  }
  void* printer() const { return printer_; }
  const char16_t* name() const { return name_.c_str(); }

 private:
  pf::PrinterHandle* printer_ = nullptr;
  pf::Module* module_ = nullptr;
  std::u16string name_;
};

struct Capability {
  std::uint16_t index;
  const char* name;
  enum Kind { Number, Ids, Sizes, Extent, Names64, Names24, Resolutions } kind;
};
constexpr Capability kCapabilities[] = {
    {1, "DC_FIELDS", Capability::Number},         {2, "DC_PAPERS", Capability::Ids},
    {3, "DC_PAPERSIZE", Capability::Sizes},       {4, "DC_MINEXTENT", Capability::Extent},
    {5, "DC_MAXEXTENT", Capability::Extent},      {6, "DC_BINS", Capability::Ids},
    {7, "DC_DUPLEX", Capability::Number},         {8, "DC_SIZE", Capability::Number},
    {9, "DC_EXTRA", Capability::Number},          {10, "DC_VERSION", Capability::Number},
    {11, "DC_DRIVER", Capability::Number},        {12, "DC_BINNAMES", Capability::Names24},
    {13, "DC_ENUMRESOLUTIONS", Capability::Resolutions},
    {14, "DC_FILEDEPENDENCIES", Capability::Number}, {15, "DC_TRUETYPE", Capability::Number},
    {16, "DC_PAPERNAMES", Capability::Names64},   {17, "DC_ORIENTATION", Capability::Number},
    {18, "DC_COPIES", Capability::Number},        {26, "DC_PRINTRATE", Capability::Number},
    {27, "DC_PRINTRATEUNIT", Capability::Number}, {29, "DC_MEDIAREADY", Capability::Names64},
    {30, "DC_STAPLE", Capability::Number},        {32, "DC_COLORDEVICE", Capability::Number},
};

json Decode(const Driver& driver, Driver::CapsFn caps, const Capability& cap, std::int32_t count) {
  if (count <= 0 || cap.kind == Capability::Number || cap.kind == Capability::Extent) return json();
  std::size_t element = cap.kind == Capability::Ids         ? 2
                        : cap.kind == Capability::Names24   ? 48
                        : cap.kind == Capability::Names64   ? 128
                                                            : 8;
  // One spare element: a driver that writes one more than it counted is caught, not overrun.
  std::vector<std::uint8_t> buffer((static_cast<std::size_t>(count) + 1) * element);
  caps(driver.printer(), driver.name(), cap.index, buffer.data(), nullptr);
  json items = json::array();
  for (std::int32_t i = 0; i < count; ++i) {
    std::size_t at = static_cast<std::size_t>(i) * element;
    switch (cap.kind) {
      case Capability::Ids: items.push_back(Get(buffer, at, 2)); break;
      case Capability::Names24: items.push_back(WideAt(buffer, at, 24)); break;
      case Capability::Names64: items.push_back(WideAt(buffer, at, 64)); break;
      case Capability::Sizes:
        items.push_back({{"width", static_cast<std::int32_t>(Get(buffer, at, 4))},
                         {"length", static_cast<std::int32_t>(Get(buffer, at + 4, 4))}});
        break;
      case Capability::Resolutions:
        items.push_back({{"x", Get(buffer, at, 4)}, {"y", Get(buffer, at + 4, 4)}});
        break;
      default: break;
    }
  }
  return items;
}

Result<std::vector<std::uint8_t>> ReadDevmodeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return MakeError(ERROR_FILE_NOT_FOUND, "cannot read " + path);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 72) return MakeError(ERROR_INVALID_DATA, path + " is too short to be a DEVMODE");
  std::size_t stated = Get(bytes, 68, 2) + static_cast<std::size_t>(Get(bytes, 70, 2));
  if (bytes.size() < stated)
    return MakeError(ERROR_INVALID_DATA, path + " holds " + std::to_string(bytes.size()) +
                                             " bytes but its header says " + std::to_string(stated));
  // The driver reads the private part it expects; pad so it never reads past the file.
  if (bytes.size() < kDevmodeBytes) bytes.resize(kDevmodeBytes, 0);
  return bytes;
}

json Summary(const std::vector<std::uint8_t>& d) {
  return json{{"dmPaperSize", Get(d, off::dmPaperSize, 2)},
              {"dmFormName", WideAt(d, off::dmFormName, 32)},
              {"dmPaperWidth", Get(d, off::dmPaperWidth, 2)},
              {"dmPaperLength", Get(d, off::dmPaperLength, 2)},
              {"dmOrientation", Get(d, off::dmOrientation, 2)},
              {"dmCopies", Get(d, off::dmCopies, 2)},
              {"dmYResolution", Get(d, off::dmYResolution, 2)},
              {"UserFormatNo", Get(d, off::UserFormatNo, 1)},
              {"LengthTenthMm", Get(d, off::LengthTenthMm, 4)},
              {"FeedDots", Get(d, off::Feed, 2)},
              {"Unit", Get(d, off::Unit, 1) ? "inch" : "mm"},
              {"AppExtension",
               {{"ExtValid", Get(d, off::ExtValid, 2)},
                {"ExtPaperId", Get(d, off::ExtPaperId, 2)},
                {"ExtFeed", Get(d, off::ExtFeed, 2)},
                {"ExtSplit", Get(d, off::ExtSplit, 2)},
                {"ExtLength", Get(d, off::ExtLength, 4)},
                {"ExtCutFlags", Get(d, off::ExtCutFlags, 4)}}}};
}

Status ApplyEdits(std::vector<std::uint8_t>& d, const DevmodeEdits& e) {
  auto field = [&](int value, std::size_t at, std::uint32_t bit) {
    if (value <= 0) return;
    Put(d, at, 2, static_cast<std::uint32_t>(value));
    Put(d, off::dmFields, 4, Get(d, off::dmFields, 4) | bit);
  };
  field(e.paper_size, off::dmPaperSize, DM_PAPERSIZE);
  field(e.paper_length, off::dmPaperLength, DM_PAPERLENGTH);
  field(e.paper_width, off::dmPaperWidth, DM_PAPERWIDTH);
  field(e.copies, off::dmCopies, DM_COPIES);
  field(e.orientation, off::dmOrientation, DM_ORIENTATION);
  std::uint32_t request = 0;
  if (e.request_paper >= 0) Put(d, off::ExtPaperId, 2, static_cast<std::uint32_t>(e.request_paper)), request |= 0x1;
  if (e.request_length_dots >= 0)
    Put(d, off::ExtLength, 4, static_cast<std::uint32_t>(e.request_length_dots)), request |= 0x2;
  if (e.request_feed_dots >= 0 && e.request_feed_mm >= 0)
    return MakeError(ERROR_INVALID_PARAMETER, "give the feed in dots or in millimetres, not both");
  if (e.request_feed_mm >= 0) Put(d, off::ExtFeed, 2, static_cast<std::uint32_t>(e.request_feed_mm)), request |= 0x10;
  if (e.request_feed_dots >= 0)
    Put(d, off::ExtFeed, 2, static_cast<std::uint32_t>(e.request_feed_dots)), request |= 0x40;
  if (e.request_split >= 0) {
    if (e.request_split < 1 || e.request_split > 4)
      return MakeError(ERROR_INVALID_PARAMETER, "--split takes 1 to 4 parts across");
    Put(d, off::ExtSplit, 2, static_cast<std::uint32_t>(e.request_split));
    request |= 0x20;
  }
  if (!e.request_cut.empty()) {
    std::uint32_t flags = 0;
    std::size_t start = 0;
    while (start <= e.request_cut.size()) {
      std::size_t end = e.request_cut.find(',', start);
      std::string word = e.request_cut.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (word == "every") flags |= 0x1;
      else if (word == "mirror") flags |= 0x4;
      else if (word == "no-end-cut") flags |= 0x400;
      else if (word == "tail-cut") flags |= 0x800;
      else if (word != "none")
        return MakeError(ERROR_INVALID_PARAMETER,
                         "--cut: \"" + word + "\" is not one of every, mirror, no-end-cut, tail-cut, none");
      if (end == std::string::npos) break;
      start = end + 1;
    }
    Put(d, off::ExtCutFlags, 4, flags);
    request |= 0x8;
  }
  if (request) {
    Put(d, off::ExtSize, 2, 30);
    Put(d, off::ExtRequest, 2, Get(d, off::ExtRequest, 2) | request);
  }
  return {};
}

}  // namespace

int ShowCapabilities(const Output& out, const std::string& printer, const std::string& which) {
  Driver driver;
  if (auto s = driver.Open(printer); !s) return Fail(s.error().message);
  auto caps = driver.Entry<Driver::CapsFn>("DrvDeviceCapabilities");
  if (!caps) return Fail("the driver library has no DrvDeviceCapabilities");
  json result = json::object();
  std::string text;
  bool found = which.empty();
  for (const auto& cap : kCapabilities) {
    if (!which.empty() && which != cap.name && which != std::to_string(cap.index)) continue;
    found = true;
    auto count = static_cast<std::int32_t>(caps(driver.printer(), driver.name(), cap.index, nullptr, nullptr));
    json entry{{"index", cap.index}, {"answer", count}};
    if (cap.kind == Capability::Extent && count != -1)
      entry["extent"] = {{"width", count & 0xFFFF}, {"length", (static_cast<std::uint32_t>(count) >> 16) & 0xFFFF}};
    if (json items = Decode(driver, caps, cap, count); !items.is_null()) entry["items"] = items;
    result[cap.name] = entry;
    text += std::string(cap.name) + " = " + std::to_string(count);
    if (entry.contains("extent"))
      text += " (" + entry["extent"]["width"].dump() + " x " + entry["extent"]["length"].dump() + ")";
    text += "\n";
    if (entry.contains("items"))
      for (const auto& item : entry["items"]) text += "    " + (item.is_string() ? item.get<std::string>() : item.dump()) + "\n";
  }
  if (!found) return Fail("unknown capability \"" + which + "\" (give a number or a name such as DC_PAPERS)");
  if (out.json) std::cout << result.dump(2) << "\n";
  else std::cout << text;
  return 0;
}

int MergeDevmode(const Output& out, const std::string& printer, const std::string& in_file,
                 const std::string& out_file, const DevmodeEdits& edits) {
  Driver driver;
  if (auto s = driver.Open(printer); !s) return Fail(s.error().message);
  auto props = driver.Entry<Driver::DocPropsFn>("DrvDocumentProperties");
  if (!props) return Fail("the driver library has no DrvDocumentProperties");
  constexpr std::uint32_t kCopy = 0x2;
  std::vector<std::uint8_t> input;
  if (!in_file.empty()) {
    auto read = ReadDevmodeFile(in_file);
    if (!read) return Fail(read.error().message);
    input = std::move(*read);
  } else {
    // An application starts from the driver's own DEVMODE for the printer.
    input.assign(kDevmodeBytes, 0);
    if (props(nullptr, driver.printer(), driver.name(), input.data(), nullptr, kCopy) < 1)
      return Fail("the driver gave no default DEVMODE for " + printer);
  }
  if (auto s = ApplyEdits(input, edits); !s) return Fail(s.error().message);
  std::vector<std::uint8_t> output(kDevmodeBytes, 0);
  std::int32_t answer = props(nullptr, driver.printer(), driver.name(), output.data(), input.data(), kCopy);
  if (answer < 1) return Fail("the driver refused the DEVMODE (answer " + std::to_string(answer) + ")");
  if (!out_file.empty()) {
    std::ofstream file(out_file, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(output.data()), static_cast<std::streamsize>(output.size()));
    if (!file.flush()) return Fail("cannot write " + out_file);
  }
  json summary = Summary(output);
  if (out.json) {
    std::cout << summary.dump(2) << "\n";
  } else {
    std::cout << "Paper " << summary["dmPaperSize"] << " \"" << summary["dmFormName"].get<std::string>() << "\", "
              << summary["dmPaperWidth"] << " x " << summary["dmPaperLength"] << " (0.1 mm), feed "
              << summary["FeedDots"] << " dots, copies " << summary["dmCopies"] << "\n"
              << "Application block: " << summary["AppExtension"].dump() << "\n";
    if (!out_file.empty()) std::cout << "Written to " << out_file << "\n";
  }
  return 0;
}

int QueryPrint(const Output& out, const std::string& printer, const std::string& devmode_file) {
  Driver driver;
  if (auto s = driver.Open(printer); !s) return Fail(s.error().message);
  auto query = driver.Entry<Driver::QueryFn>("DevQueryPrintEx");
  if (!query) return Fail("the driver library has no DevQueryPrintEx");
  auto devmode = ReadDevmodeFile(devmode_file);
  if (!devmode) return Fail(devmode.error().message);
  char16_t message[512] = {};
  Driver::QueryInfo info{sizeof(Driver::QueryInfo), 1, driver.printer(), devmode->data(), message, 512, 0};
  bool may_print = query(&info) != 0;
  std::string reason = may_print ? "" : WideText(message, 512);
  if (out.json) std::cout << json{{"may_print", may_print}, {"reason", reason}}.dump(2) << "\n";
  else std::cout << (may_print ? "The job may print.\n" : "The job may not print: " + reason + "\n");
  return may_print ? 0 : 2;
}

}  // namespace klm::cli
