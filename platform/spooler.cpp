#include "platform/spooler.h"

#include <strings.h>

#include "platform/machine_root.h"
#include "platform/store.h"
#include "platform/system.h"

namespace klm::platform {

struct PrinterHandle {
  std::int64_t id;
  std::string name;
  std::uint32_t access;
};

namespace {

using store::Statement;

Error NoPrinter(std::string_view name) {
  return MakeError(ERROR_INVALID_PRINTER_NAME, "there is no printer named \"" + std::string(name) + "\"");
}

Error BadHandle() { return MakeError(ERROR_INVALID_HANDLE, "invalid printer handle"); }

// Checks that the handle's printer still exists (it may have been removed by
// another process since it was opened).
Status CheckPrinter(sqlite3* db, const PrinterHandle* printer) {
  if (!printer) return BadHandle();
  Statement q(db, "SELECT 1 FROM printers WHERE id=?1");
  q.Bind(1, printer->id);
  if (q.Step() != SQLITE_ROW) return NoPrinter(printer->name);
  return {};
}

std::string JoinLines(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) out += '\n';
    out += item;
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// The platform's built-in forms, in their fixed order (a DEVMODE paper size
// n names the n-th of them). Sizes in micrometres.
struct StandardForm {
  const char* name;
  std::int32_t width, height;
};
constexpr StandardForm kStandardForms[] = {
    {"Letter", 215900, 279400},
    {"Letter Small", 215900, 279400},
    {"Tabloid", 279400, 431800},
    {"Ledger", 431800, 279400},
    {"Legal", 215900, 355600},
    {"Statement", 139700, 215900},
    {"Executive", 184150, 266700},
    {"A3", 297000, 420000},
    {"A4", 210000, 297000},
    {"A4 Small", 210000, 297000},
    {"A5", 148000, 210000},
    {"B4 (JIS)", 257000, 364000},
    {"B5 (JIS)", 182000, 257000},
    {"Folio", 215900, 330200},
    {"Quarto", 215000, 275000},
    {"10x14", 254000, 355600},
    {"11x17", 279400, 431800},
    {"Note", 215900, 279400},
    {"Envelope #9", 98425, 225425},
    {"Envelope #10", 104775, 241300},
    {"Envelope #11", 114300, 263525},
    {"Envelope #12", 120650, 279400},
    {"Envelope #14", 127000, 292100},
    {"C size sheet", 431800, 558800},
    {"D size sheet", 558800, 863600},
    {"E size sheet", 863600, 1117600},
    {"Envelope DL", 110000, 220000},
    {"Envelope C5", 162000, 229000},
    {"Envelope C3", 324000, 458000},
    {"Envelope C4", 229000, 324000},
    {"Envelope C6", 114000, 162000},
    {"Envelope C65", 114000, 229000},
    {"Envelope B4", 250000, 353000},
    {"Envelope B5", 176000, 250000},
    {"Envelope B6", 176000, 125000},
    {"Envelope", 110000, 230000},
    {"Envelope Monarch", 98425, 190500},
    {"6 3/4 Envelope", 92075, 165100},
    {"US Std Fanfold", 377825, 279400},
    {"German Std Fanfold", 215900, 304800},
    {"German Legal Fanfold", 215900, 330200},
};

}  // namespace

Result<PrinterHandle*> OpenPrinter(std::string_view name, std::uint32_t access) {
  if (access == PRINTER_ACCESS_DEFAULT) access = PRINTER_ACCESS_USE;
  if ((access & PRINTER_ACCESS_ADMINISTER) && !IsAdministrator())
    return MakeError(ERROR_ACCESS_DENIED,
                     "administering printer \"" + std::string(name) + "\" needs an administrator");
  PrinterHandle handle{0, std::string(name), access};
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT id, name FROM printers WHERE name=?1");
    q.Bind(1, name);
    if (q.Step() != SQLITE_ROW) return NoPrinter(name);
    handle.id = q.Int(0);
    handle.name = q.Text(1);
    return {};
  });
  if (!s) return s.error();
  return new PrinterHandle(std::move(handle));
}

void ClosePrinter(PrinterHandle* printer) { delete printer; }

std::uint32_t PrinterAccess(const PrinterHandle* printer) { return printer ? printer->access : 0; }

Result<PrinterInfo> GetPrinter(const PrinterHandle* printer) {
  if (!printer) return BadHandle();
  PrinterInfo info;
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db,
                "SELECT name, port, driver, comment, location, attributes, devmode, user_devmode "
                "FROM printers WHERE id=?1");
    q.Bind(1, printer->id);
    if (q.Step() != SQLITE_ROW) return NoPrinter(printer->name);
    info.name = q.Text(0);
    info.port = q.Text(1);
    info.driver = q.Text(2);
    info.comment = q.Text(3);
    info.location = q.Text(4);
    info.attributes = static_cast<std::uint32_t>(q.Int(5));
    info.devmode = q.Blob(6);
    info.user_devmode = q.Blob(7);
    return {};
  });
  if (!s) return s.error();
  return info;
}

namespace {
Status UpdatePrinterColumn(PrinterHandle* printer, const char* sql, const std::function<void(Statement&)>& bind) {
  if (!printer) return BadHandle();
  return store::Write([&](sqlite3* db) -> Status {
    if (auto s = CheckPrinter(db, printer); !s) return s;
    Statement up(db, sql);
    bind(up);
    up.Bind(1, printer->id);
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "changing printer " + printer->name);
    return {};
  });
}
}  // namespace

Status SetPrinterPort(PrinterHandle* printer, std::string_view port) {
  if (port.empty()) return MakeError(ERROR_INVALID_PARAMETER, "a printer needs a port");
  return UpdatePrinterColumn(printer, "UPDATE printers SET port=?2 WHERE id=?1",
                             [&](Statement& st) { st.Bind(2, port); });
}

Status SetPrinterDevmode(PrinterHandle* printer, std::span<const std::uint8_t> devmode) {
  return UpdatePrinterColumn(printer, "UPDATE printers SET devmode=?2 WHERE id=?1",
                             [&](Statement& st) { devmode.empty() ? st.BindNull(2) : st.BindBlob(2, devmode); });
}

Status SetUserDevmode(PrinterHandle* printer, std::span<const std::uint8_t> devmode) {
  return UpdatePrinterColumn(printer, "UPDATE printers SET user_devmode=?2 WHERE id=?1",
                             [&](Statement& st) { devmode.empty() ? st.BindNull(2) : st.BindBlob(2, devmode); });
}

Result<RegValue> GetPrinterData(const PrinterHandle* printer, std::string_view name) {
  RegValue value;
  Status s = store::Read([&](sqlite3* db) -> Status {
    if (auto c = CheckPrinter(db, printer); !c) return c;
    Statement q(db, "SELECT type, data FROM printer_data WHERE printer_id=?1 AND name=?2");
    q.Bind(1, printer->id).Bind(2, name);
    if (q.Step() != SQLITE_ROW)
      return MakeError(ERROR_FILE_NOT_FOUND, "printer \"" + printer->name + "\" has no value \"" +
                                                 std::string(name) + "\"");
    value.type = static_cast<RegType>(q.Int(0));
    value.data = q.Blob(1);
    return {};
  });
  if (!s) return s.error();
  return value;
}

Status SetPrinterData(PrinterHandle* printer, std::string_view name, const RegValue& value) {
  if (!printer) return BadHandle();
  if (!(printer->access & PRINTER_ACCESS_ADMINISTER))
    return MakeError(ERROR_ACCESS_DENIED, "printer \"" + printer->name + "\" was not opened for administration");
  return store::Write([&](sqlite3* db) -> Status {
    if (auto c = CheckPrinter(db, printer); !c) return c;
    Statement up(db,
                 "INSERT INTO printer_data(printer_id, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                 "ON CONFLICT(printer_id, name) DO UPDATE SET type=excluded.type, data=excluded.data");
    up.Bind(1, printer->id).Bind(2, name).Bind(3, static_cast<std::int64_t>(value.type)).BindBlob(4, value.data);
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "setting printer data");
    return {};
  });
}

Result<std::vector<std::string>> ListPrinterData(const PrinterHandle* printer) {
  std::vector<std::string> names;
  Status s = store::Read([&](sqlite3* db) -> Status {
    if (auto c = CheckPrinter(db, printer); !c) return c;
    Statement q(db, "SELECT name FROM printer_data WHERE printer_id=?1 ORDER BY seq");
    q.Bind(1, printer->id);
    while (q.Step() == SQLITE_ROW) names.push_back(q.Text(0));
    return {};
  });
  if (!s) return s.error();
  return names;
}

namespace {
constexpr const char* kDriverColumns =
    "name, environment, driver_path, data_file, config_file, help_file, dependent_files";

DriverInfo ReadDriver(const Statement& q) {
  DriverInfo d;
  d.name = q.Text(0);
  d.environment = q.Text(1);
  d.driver_path = q.Text(2);
  d.data_file = q.Text(3);
  d.config_file = q.Text(4);
  d.help_file = q.Text(5);
  d.dependent_files = SplitLines(q.Text(6));
  return d;
}
}  // namespace

Result<DriverInfo> GetPrinterDriver(const PrinterHandle* printer) {
  DriverInfo info;
  Status s = store::Read([&](sqlite3* db) -> Status {
    if (auto c = CheckPrinter(db, printer); !c) return c;
    Statement q(db, std::string("SELECT ") + kDriverColumns +
                        " FROM drivers WHERE name=(SELECT driver FROM printers WHERE id=?1)");
    q.Bind(1, printer->id);
    if (q.Step() != SQLITE_ROW)
      return MakeError(ERROR_UNKNOWN_PRINTER_DRIVER, "the driver of printer \"" + printer->name + "\" is not installed");
    info = ReadDriver(q);
    return {};
  });
  if (!s) return s.error();
  return info;
}

Result<std::vector<DriverInfo>> EnumPrinterDrivers() {
  std::vector<DriverInfo> drivers;
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, std::string("SELECT ") + kDriverColumns + " FROM drivers ORDER BY rowid");
    while (q.Step() == SQLITE_ROW) drivers.push_back(ReadDriver(q));
    return {};
  });
  if (!s) return s.error();
  return drivers;
}

Result<std::vector<FormInfo>> EnumForms(const PrinterHandle*) {
  std::vector<FormInfo> forms;
  for (const auto& f : kStandardForms)
    forms.push_back(FormInfo{f.name, 1, f.width, f.height, 0, 0, f.width, f.height});
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT name, flags, width, height, left_, top_, right_, bottom_ FROM forms ORDER BY seq");
    while (q.Step() == SQLITE_ROW) {
      FormInfo f;
      f.name = q.Text(0);
      f.flags = static_cast<std::uint32_t>(q.Int(1));
      f.width_um = static_cast<std::int32_t>(q.Int(2));
      f.height_um = static_cast<std::int32_t>(q.Int(3));
      f.left_um = static_cast<std::int32_t>(q.Int(4));
      f.top_um = static_cast<std::int32_t>(q.Int(5));
      f.right_um = static_cast<std::int32_t>(q.Int(6));
      f.bottom_um = static_cast<std::int32_t>(q.Int(7));
      forms.push_back(std::move(f));
    }
    return {};
  });
  if (!s) return s.error();
  return forms;
}

Result<std::vector<PrinterInfo>> EnumLocalPrinters() {
  std::vector<PrinterInfo> printers;
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT name, port, driver, comment, location, attributes FROM printers ORDER BY id");
    while (q.Step() == SQLITE_ROW) {
      PrinterInfo p;
      p.name = q.Text(0);
      p.port = q.Text(1);
      p.driver = q.Text(2);
      p.comment = q.Text(3);
      p.location = q.Text(4);
      p.attributes = static_cast<std::uint32_t>(q.Int(5));
      if (p.attributes & PRINTER_ATTRIBUTE_LOCAL) printers.push_back(std::move(p));
    }
    return {};
  });
  if (!s) return s.error();
  return printers;
}

Status AddPrinter(const PrinterSpec& printer) {
  if (printer.name.empty() || printer.name.find_first_of("\\,") != std::string::npos)
    return MakeError(ERROR_INVALID_PRINTER_NAME, "\"" + printer.name + "\" is not a valid printer name");
  if (printer.port.empty()) return MakeError(ERROR_INVALID_PARAMETER, "printer \"" + printer.name + "\" needs a port");
  return store::Write([&](sqlite3* db) -> Status {
    Statement drv(db, "SELECT 1 FROM drivers WHERE name=?1");
    drv.Bind(1, printer.driver);
    if (drv.Step() != SQLITE_ROW)
      return MakeError(ERROR_UNKNOWN_PRINTER_DRIVER, "driver \"" + printer.driver + "\" is not installed");
    Statement exists(db, "SELECT 1 FROM printers WHERE name=?1");
    exists.Bind(1, printer.name);
    if (exists.Step() == SQLITE_ROW)
      return MakeError(ERROR_ALREADY_EXISTS, "a printer named \"" + printer.name + "\" exists already");
    Statement ins(db, "INSERT INTO printers(name, driver, port, attributes) VALUES (?1, ?2, ?3, ?4)");
    ins.Bind(1, printer.name).Bind(2, printer.driver).Bind(3, printer.port).Bind(4, printer.attributes);
    if (ins.Step() != SQLITE_DONE) return store::DatabaseError(db, "adding printer " + printer.name);
    return {};
  });
}

Status DeletePrinter(std::string_view name) {
  return store::Write([&](sqlite3* db) -> Status {
    Statement del(db, "DELETE FROM printers WHERE name=?1");
    del.Bind(1, name);
    if (del.Step() != SQLITE_DONE) return store::DatabaseError(db, "removing a printer");
    if (sqlite3_changes(db) == 0) return NoPrinter(name);
    return {};
  });
}

Status AddPrinterDriver(const DriverInfo& driver) {
  if (driver.name.empty()) return MakeError(ERROR_INVALID_PARAMETER, "a driver needs a name");
  return store::Write([&](sqlite3* db) -> Status {
    Statement up(db, std::string("INSERT OR REPLACE INTO drivers(") + kDriverColumns +
                         ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    up.Bind(1, driver.name)
        .Bind(2, driver.environment)
        .Bind(3, driver.driver_path)
        .Bind(4, driver.data_file)
        .Bind(5, driver.config_file)
        .Bind(6, driver.help_file)
        .Bind(7, JoinLines(driver.dependent_files));
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "installing driver " + driver.name);
    return {};
  });
}

Status AddForm(const FormInfo& form) {
  if (form.name.empty() || form.width_um <= 0 || form.height_um <= 0)
    return MakeError(ERROR_INVALID_FORM_NAME, "a form needs a name and a positive size");
  for (const auto& f : kStandardForms)
    if (strcasecmp(f.name, form.name.c_str()) == 0)
      return MakeError(ERROR_ALREADY_EXISTS, "\"" + form.name + "\" is a built-in form");
  return store::Write([&](sqlite3* db) -> Status {
    Statement ins(db,
                  "INSERT INTO forms(name, flags, width, height, left_, top_, right_, bottom_) "
                  "VALUES (?1, 0, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT(name) DO UPDATE SET "
                  "width=excluded.width, height=excluded.height, left_=excluded.left_, top_=excluded.top_, "
                  "right_=excluded.right_, bottom_=excluded.bottom_");
    ins.Bind(1, form.name).Bind(2, form.width_um).Bind(3, form.height_um).Bind(4, form.left_um).Bind(5, form.top_um);
    ins.Bind(6, form.right_um ? form.right_um : form.width_um).Bind(7, form.bottom_um ? form.bottom_um : form.height_um);
    if (ins.Step() != SQLITE_DONE) return store::DatabaseError(db, "adding form " + form.name);
    return {};
  });
}

Status DeleteForm(std::string_view name) {
  return store::Write([&](sqlite3* db) -> Status {
    Statement del(db, "DELETE FROM forms WHERE name=?1");
    del.Bind(1, name);
    if (del.Step() != SQLITE_DONE) return store::DatabaseError(db, "removing a form");
    if (sqlite3_changes(db) == 0)
      return MakeError(ERROR_INVALID_FORM_NAME, "there is no added form named \"" + std::string(name) + "\"");
    return {};
  });
}

}  // namespace klm::platform
