// klm71: the spooler's and the administrator's front end to a machine root.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "platform/locale.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/ports.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tools/klm71/app_view.h"
#include "tools/klm71/devmode_command.h"
#include "tools/klm71/install.h"
#include "tools/klm71/output.h"
#include "ui/sheet_host/printer_properties_runner.h"

namespace {

using namespace klm;
using nlohmann::json;
namespace pf = klm::platform;

int Fail(const Error& error) {
  std::cerr << "klm71: " << error.message << "\n";
  return 1;
}

void Print(const cli::Output& out, const json& j, const std::string& text) {
  if (out.json) std::cout << j.dump(2) << "\n";
  else std::cout << text;
}

std::string Attributes(std::uint32_t a) {
  std::string s = (a & pf::PRINTER_ATTRIBUTE_LOCAL) ? "local" : "";
  if (a & pf::PRINTER_ATTRIBUTE_NETWORK) s += s.empty() ? "network" : ", network";
  if (a & pf::PRINTER_ATTRIBUTE_ENABLE_BIDI) s += s.empty() ? "bidirectional" : ", bidirectional";
  return s;
}

json PrinterJson(const pf::PrinterInfo& p) {
  return json{{"name", p.name}, {"driver", p.driver}, {"port", p.port}, {"attributes", p.attributes},
              {"local", (p.attributes & pf::PRINTER_ATTRIBUTE_LOCAL) != 0},
              {"bidirectional", (p.attributes & pf::PRINTER_ATTRIBUTE_ENABLE_BIDI) != 0},
              {"devmode_bytes", p.devmode.size()}, {"user_devmode_bytes", p.user_devmode.size()}};
}

// As the spooler does when a printer is added: tell the driver to initialise
// the printer's data. A driver that is not installed yet is simply not told.
void RaiseInitialiseEvent(const std::string& printer) {
  auto module = pf::LoadModule(pf::DriverDataDirectory() / "KLM71ui.dll");
  if (!module) return;
  using EventFn = int (*)(const char16_t*, int, std::uint32_t, std::intptr_t);
  if (auto event = reinterpret_cast<EventFn>(pf::GetSymbol(*module, "DrvPrinterEvent"))) {
    std::u16string name(printer.begin(), printer.end());
    constexpr int kPrinterEventInitialize = 3;
    event(name.c_str(), kPrinterEventInitialize, 0, 0);
  }
  (void)pf::FreeModule(*module);
}

int ShowPrinter(const cli::Output& out, const std::string& name) {
  auto opened = pf::OpenPrinter(name);
  if (!opened) return Fail(opened.error());
  pf::ScopedPrinter printer(*opened);
  auto info = pf::GetPrinter(printer.get());
  if (!info) return Fail(info.error());
  json j = PrinterJson(*info);
  std::string text = "Printer " + info->name + "\n  driver: " + info->driver + "\n  port: " + info->port +
                     "\n  attributes: " + Attributes(info->attributes) + "\n";
  json data = json::object();
  if (auto names = pf::ListPrinterData(printer.get())) {
    if (!names->empty()) text += "  printer data:\n";
    for (const auto& n : *names) {
      auto v = pf::GetPrinterData(printer.get(), n);
      if (!v) continue;
      data[n] = cli::ValueJson(*v);
      text += "    " + n + " = " + cli::ValueText(*v) + "\n";
    }
  }
  j["printer_data"] = data;
  if (auto driver = pf::GetPrinterDriver(printer.get())) {
    j["driver_data_file"] = driver->data_file;
    text += "  driver data file: " + driver->data_file + "\n";
  }
  Print(out, j, text);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"klm71: install the Koravel LM-7100 package into a machine root and administer its printers.\n"
               "The machine root is $KLM71_ROOT, else $XDG_DATA_HOME/klm71, else ~/.local/share/klm71."};
  app.require_subcommand(1);
  app.fallthrough();  // --json may follow the subcommand
  cli::Output out;
  app.add_flag("--json", out.json, "Print JSON for scripts");
  int rc = 0;

  // install
  auto* install = app.add_subcommand("install", "Lay the package into the machine root's driver directory");
  std::string from;
  install->add_option("--from", from, "Folder of the built package (default: this program's folder)");
  install->callback([&] {
    auto report = cli::Install(from.empty() ? cli::ProgramDirectory() : std::filesystem::path(from));
    if (!report) { rc = Fail(report.error()); return; }
    std::string text = "Installed into " + pf::DriverDataDirectory().string() + "\n";
    for (const auto& p : report->placed) text += "  " + p + "\n";
    for (const auto& s : report->skipped) text += "  skipped " + s + "\n";
    Print(out, json{{"driver_directory", pf::DriverDataDirectory().string()}, {"placed", report->placed},
                    {"skipped", report->skipped}}, text);
  });

  // printer ...
  auto* printer = app.add_subcommand("printer", "Add, list, show, remove printers");
  printer->require_subcommand(1);
  std::string name, port = "COM1:";
  bool network = false;
  auto* add = printer->add_subcommand("add", "Add a printer that uses the LM-7100 driver");
  add->add_option("name", name, "Printer name")->required();
  add->add_option("--port", port, "Port, such as COM1:, QMCOM1: or USB001 (default COM1:)");
  add->add_flag("--network", network, "A network printer rather than a local one");
  add->callback([&] {
    pf::PrinterSpec added{name, cli::kDriverName, port,
                        (network ? pf::PRINTER_ATTRIBUTE_NETWORK : pf::PRINTER_ATTRIBUTE_LOCAL) |
                             pf::PRINTER_ATTRIBUTE_ENABLE_BIDI};
    if (auto s = pf::AddPrinter(added); !s) {
      if (s.error().code == ERROR_UNKNOWN_PRINTER_DRIVER)
        rc = Fail(MakeError(s.error().code, s.error().message + "; run \"klm71 install\" first"));
      else rc = Fail(s.error());
      return;
    }
    RaiseInitialiseEvent(name);
    if (!out.json) std::cout << "Added printer " << name << " on " << port << "\n";
    else rc = ShowPrinter(out, name);
  });
  printer->add_subcommand("list", "List the local printers")->callback([&] {
    auto list = pf::EnumLocalPrinters();
    if (!list) { rc = Fail(list.error()); return; }
    json j = json::array();
    std::string text;
    for (const auto& p : *list) {
      j.push_back(PrinterJson(p));
      text += p.name + "  (" + p.port + ", " + p.driver + ")\n";
    }
    if (list->empty()) text = "No printers.\n";
    Print(out, j, text);
  });
  auto* show = printer->add_subcommand("show", "Show a printer with its port, driver and printer data");
  show->add_option("name", name)->required();
  show->callback([&] { rc = ShowPrinter(out, name); });
  auto* remove = printer->add_subcommand("remove", "Remove a printer");
  remove->add_option("name", name)->required();
  remove->callback([&] {
    if (auto s = pf::DeletePrinter(name); !s) rc = Fail(s.error());
  });
  auto* set_port = printer->add_subcommand("set-port", "Move a printer to another port");
  set_port->add_option("name", name)->required();
  set_port->add_option("port", port)->required();
  set_port->callback([&] {
    auto opened = pf::OpenPrinter(name, pf::PRINTER_ALL_ACCESS);
    if (!opened) { rc = Fail(opened.error()); return; }
    pf::ScopedPrinter p(*opened);
    if (auto s = pf::SetPrinterPort(p.get(), port); !s) rc = Fail(s.error());
  });

  // port map
  auto* ports = app.add_subcommand("port", "Map port names to devices");
  ports->require_subcommand(1);
  std::string device;
  auto* map = ports->add_subcommand("map", "Map a port (COM1:, USB001) to a device node");
  map->add_option("port", port)->required();
  map->add_option("device", device)->required();
  map->callback([&] {
    if (auto s = pf::MapPort(port, device); !s) rc = Fail(s.error());
  });
  ports->add_subcommand("list", "List mapped ports")->callback([&] {
    auto list = pf::ListPorts();
    if (!list) { rc = Fail(list.error()); return; }
    json j = json::array();
    std::string text;
    for (const auto& m : *list) {
      j.push_back({{"port", m.port}, {"device", m.device}});
      text += m.port + " -> " + m.device + "\n";
    }
    Print(out, j, text.empty() ? "No ports mapped.\n" : text);
  });

  // reg get|set, printer-data get|set
  cli::ValueArgs value_args;
  std::string key, value_name;
  auto add_value_options = [&](CLI::App* cmd) {
    cmd->add_option("--dword", value_args.dword, "A 32-bit number (decimal or 0x hex)");
    cmd->add_option("--sz", value_args.sz, "A string");
    cmd->add_option("--binary", value_args.binary, "Bytes as hex digits");
  };
  auto* reg = app.add_subcommand("reg", "Read and write HKEY_LOCAL_MACHINE values");
  reg->require_subcommand(1);
  auto* reg_get = reg->add_subcommand("get", "Show a key's values, or one value");
  reg_get->add_option("key", key)->required();
  reg_get->add_option("name", value_name);
  reg_get->callback([&] {
    std::vector<std::string> names{value_name};
    if (value_name.empty()) {
      auto all = pf::RegListValues(pf::Hive::LocalMachine, key);
      if (!all) { rc = Fail(all.error()); return; }
      names = *all;
    }
    json j = json::object();
    std::string text;
    for (const auto& n : names) {
      auto v = pf::RegQueryValue(pf::Hive::LocalMachine, key, n);
      if (!v) { rc = Fail(v.error()); return; }
      j[n] = cli::ValueJson(*v);
      text += n + " = " + cli::ValueText(*v) + "\n";
    }
    Print(out, j, text);
  });
  auto* reg_set = reg->add_subcommand("set", "Set a value, creating the key");
  reg_set->add_option("key", key)->required();
  reg_set->add_option("name", value_name)->required();
  add_value_options(reg_set);
  reg_set->callback([&] {
    auto v = cli::ParseValue(value_args);
    if (!v) { rc = Fail(v.error()); return; }
    if (auto s = pf::RegCreateKey(pf::Hive::LocalMachine, key); !s) { rc = Fail(s.error()); return; }
    if (auto s = pf::RegSetValue(pf::Hive::LocalMachine, key, value_name, *v); !s) rc = Fail(s.error());
  });

  auto* pdata = app.add_subcommand("printer-data", "Read and write a printer's printer data");
  pdata->require_subcommand(1);
  auto* pd_get = pdata->add_subcommand("get", "Show one value of a printer's data");
  pd_get->add_option("printer", name)->required();
  pd_get->add_option("name", value_name)->required();
  pd_get->callback([&] {
    auto opened = pf::OpenPrinter(name);
    if (!opened) { rc = Fail(opened.error()); return; }
    pf::ScopedPrinter p(*opened);
    auto v = pf::GetPrinterData(p.get(), value_name);
    if (!v) { rc = Fail(v.error()); return; }
    Print(out, cli::ValueJson(*v), cli::ValueText(*v) + "\n");
  });
  auto* pd_set = pdata->add_subcommand("set", "Set one value of a printer's data");
  pd_set->add_option("printer", name)->required();
  pd_set->add_option("name", value_name)->required();
  add_value_options(pd_set);
  pd_set->callback([&] {
    auto v = cli::ParseValue(value_args);
    if (!v) { rc = Fail(v.error()); return; }
    auto opened = pf::OpenPrinter(name, pf::PRINTER_ALL_ACCESS);
    if (!opened) { rc = Fail(opened.error()); return; }
    pf::ScopedPrinter p(*opened);
    if (auto s = pf::SetPrinterData(p.get(), value_name, *v); !s) rc = Fail(s.error());
  });

  // forms
  app.add_subcommand("forms", "List the spooler's forms")->callback([&] {
    auto forms = pf::EnumForms();
    if (!forms) { rc = Fail(forms.error()); return; }
    json j = json::array();
    std::string text;
    int n = 0;
    for (const auto& f : *forms) {
      j.push_back({{"number", ++n}, {"name", f.name}, {"width_um", f.width_um}, {"height_um", f.height_um},
                   {"builtin", f.flags == 1}});
      char line[160];
      std::snprintf(line, sizeof line, "%3d  %-24s %7.1f x %7.1f mm\n", n, f.name.c_str(), f.width_um / 1000.0,
                    f.height_um / 1000.0);
      text += line;
    }
    Print(out, j, text);
  });

  // locale show|set
  auto* locale = app.add_subcommand("locale", "Show or override the user's locale items");
  locale->require_subcommand(1);
  locale->add_subcommand("show", "Show the locale items the package reads")->callback([&] {
    pf::LocaleInfo l = pf::UserLocale();
    json j{{"country", l.country_code}, {"measure", l.measure_system}, {"decimal", l.decimal_separator},
           {"country-abbrev", l.country_abbrev}, {"language-abbrev", l.language_abbrev},
           {"codepage", l.ansi_code_page}};
    std::string text;
    for (auto& [k, v] : j.items()) text += k + " = " + (v.is_string() ? v.get<std::string>() : v.dump()) + "\n";
    Print(out, j, text);
  });
  std::string item, item_value;
  auto* locale_set = locale->add_subcommand("set", "Override an item (an empty value removes the override)");
  locale_set->add_option("item", item, "country, measure, decimal, country-abbrev, language-abbrev, codepage")
      ->required();
  locale_set->add_option("value", item_value)->required();
  locale_set->callback([&] {
    if (auto s = pf::SetLocaleOverride(item, item_value); !s) rc = Fail(s.error());
  });

  cli::AddDevmodeCommands(app, out, rc);

  auto* properties = app.add_subcommand("properties", "Open a printer's properties page (needs a display)");
  properties->add_option("printer", name)->required();
  properties->callback([&] {
    auto accepted = ui::sheet::RunPrinterProperties(name);
    if (!accepted) { rc = Fail(accepted.error()); return; }
    if (!out.json) std::cout << (*accepted ? "Accepted.\n" : "Cancelled, or no display to show the page on.\n");
    else std::cout << json{{"accepted", *accepted}}.dump() << "\n";
  });

  // The application's view, through the driver library's entry points.
  std::string which;
  auto* caps = app.add_subcommand("caps", "Ask the driver for a printer's capabilities, decoded");
  caps->add_option("printer", name)->required();
  caps->add_option("capability", which, "A number or a name such as DC_PAPERS (default: all)");
  caps->callback([&] { rc = cli::ShowCapabilities(out, name, which); });

  auto* devmode = app.get_subcommand("devmode");  // "show" and "default" are added above
  std::string in_file, out_file;
  cli::DevmodeEdits edits;
  auto* merge = devmode->add_subcommand("merge",
      "Hand a DEVMODE to the driver (no prompt) and write what it returns; without --in, start from the printer's");
  merge->add_option("printer", name)->required();
  merge->add_option("--in", in_file, "DEVMODE file to start from");
  merge->add_option("--out", out_file, "Where to write the driver's DEVMODE");
  merge->add_option("--paper-size", edits.paper_size, "dmPaperSize (a paper id, 256 custom, 317+ user format)");
  merge->add_option("--paper-length", edits.paper_length, "dmPaperLength, 0.1 mm");
  merge->add_option("--paper-width", edits.paper_width, "dmPaperWidth, 0.1 mm");
  merge->add_option("--copies", edits.copies, "dmCopies");
  merge->add_option("--orientation", edits.orientation, "1 portrait, 2 landscape");
  merge->add_option("--request-paper", edits.request_paper, "Ask for a paper id through the application block");
  merge->add_option("--request-length", edits.request_length_dots, "Ask for a label length, dots at 300 dpi");
  merge->add_option("--request-feed-dots", edits.request_feed_dots, "Ask for a feed in dots");
  merge->add_option("--request-feed-mm", edits.request_feed_mm, "Ask for a feed in millimetres");
  merge->add_option("--request-split", edits.request_split, "Ask for 1-4 parts across");
  merge->add_option("--request-cut", edits.request_cut, "Ask for cut flags: every,mirror,no-end-cut,tail-cut or none");
  merge->callback([&] { rc = cli::MergeDevmode(out, name, in_file, out_file, edits); });

  auto* query = app.add_subcommand("query", "May a job with this DEVMODE print? (exit 0 yes, 2 no)");
  query->add_option("printer", name)->required();
  query->add_option("--devmode", in_file, "The job's DEVMODE file")->required();
  query->callback([&] { rc = cli::QueryPrint(out, name, in_file); });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return rc;
}
