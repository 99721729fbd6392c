#include "tools/klm71/devmode_command.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "driver-ui/devmode_convert.h"
#include "driver-ui/devmode_fields.h"
#include "driver-ui/devmode_layout.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/win_errors.h"

namespace klm::cli {
namespace {

using nlohmann::json;

int Show(const Output& out, const std::string& file) {
  auto bytes = platform::ReadWholeFile(platform::FromWindowsPath(file));
  if (!bytes) {
    std::cerr << "klm71: cannot read " << file << ": " << bytes.error().message << "\n";
    return 1;
  }
  auto decoded = driver::DecodeDevmode(*bytes);
  if (!decoded) {
    std::cerr << "klm71: " << file << ": " << decoded.error().message << "\n";
    return 1;
  }
  nlohmann::ordered_json pub = nlohmann::ordered_json::object(), priv = nlohmann::ordered_json::object();
  std::ostringstream text;
  text << file << ": " << decoded->byte_count << " bytes, dmSize " << decoded->size
       << ", dmDriverExtra " << decoded->driver_extra << "\n";
  bool private_header = false;
  for (const auto& f : decoded->fields) {
    if (f.in_private && !private_header) {
      text << "private part:\n";
      private_header = true;
    }
    auto& part = f.in_private ? priv : pub;
    text << "  " << f.name << " = ";
    if (const auto* n = std::get_if<std::int64_t>(&f.value)) {
      part[f.name] = *n;
      text << *n;
      if (*n > 9) {
        char hex[24];
        std::snprintf(hex, sizeof hex, " (0x%llX)", static_cast<unsigned long long>(*n));
        text << hex;
      }
    } else {
      const auto& s = std::get<std::string>(f.value);
      part[f.name] = s;
      text << '"' << s << '"';
    }
    text << "\n";
  }
  if (!decoded->missing.empty()) {
    text << "not present:";
    for (const auto& m : decoded->missing) text << " " << m;
    text << "\n";
  }
  if (out.json) {
    std::cout << nlohmann::ordered_json{{"file", file}, {"bytes", decoded->byte_count}, {"public", pub},
                      {"private", priv}, {"missing", decoded->missing}}
                     .dump(2)
              << "\n";
  } else {
    std::cout << text.str();
  }
  return 0;
}

// Through the installed driver's exported entry point, as the spooler asks it.
int WriteDefault(const Output& out, const std::string& printer, const std::string& file) {
  auto module = platform::LoadModule(platform::DriverDataDirectory() / "KLM71ui.dll");
  if (!module) {
    std::cerr << "klm71: the driver library KLM71ui is not installed in "
              << platform::DriverDataDirectory().string() << " (run klm71 install): "
              << module.error().message << "\n";
    return 1;
  }
  using ConvertFn = std::int32_t (*)(const char16_t*, const void*, void*, std::int32_t*, std::uint32_t);
  auto convert = reinterpret_cast<ConvertFn>(platform::GetSymbol(*module, "DrvConvertDevMode"));
  std::vector<std::uint8_t> devmode(driver::kDriverDevmodeSize);
  std::int32_t size = static_cast<std::int32_t>(devmode.size());
  const std::u16string name = platform::Utf8ToUtf16(printer);
  const bool ok = convert != nullptr &&
                  convert(name.c_str(), nullptr, devmode.data(), &size, driver::CDM_DRIVER_DEFAULT) != 0;
  const std::uint32_t error = GetLastError();
  (void)platform::FreeModule(*module);
  if (!ok) {
    std::cerr << "klm71: the driver gave no default DEVMODE for printer \"" << printer
              << "\" (error " << error << ")\n";
    return 1;
  }
  devmode.resize(static_cast<std::size_t>(size));
  if (auto st = platform::WriteFileAtomic(platform::FromWindowsPath(file), devmode); !st) {
    std::cerr << "klm71: cannot write " << file << ": " << st.error().message << "\n";
    return 1;
  }
  if (out.json) std::cout << json{{"printer", printer}, {"file", file}, {"bytes", size}}.dump(2) << "\n";
  else std::cout << "Wrote the driver default of " << printer << " (" << size << " bytes) to " << file << "\n";
  return 0;
}

}  // namespace

void AddDevmodeCommands(CLI::App& app, const Output& out, int& rc) {
  auto* devmode = app.add_subcommand("devmode", "Look inside stored DEVMODEs, write the driver default");
  devmode->require_subcommand(1);
  // The options outlive this call: parsing happens later in main.
  static std::string file, printer;
  auto* show = devmode->add_subcommand("show", "Print every public and private field of a stored DEVMODE");
  show->add_option("file", file, "File holding the DEVMODE bytes")->required();
  show->callback([&] { rc = Show(out, file); });
  auto* def = devmode->add_subcommand("default", "Write a printer's driver default DEVMODE to a file");
  def->add_option("printer", printer, "Printer name")->required();
  def->add_option("--out", file, "File to write")->required();
  def->callback([&] { rc = WriteDefault(out, printer, file); });
}

}  // namespace klm::cli
