#include "platform/store.h"

#include <unistd.h>

#include <system_error>

#include "platform/machine_root.h"

namespace klm::platform::store {

namespace fs = std::filesystem;

namespace {

constexpr int kSchemaVersion = 1;

// Names compare as the platform compares them: without regard to ASCII case.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys (
  id INTEGER PRIMARY KEY,
  hive INTEGER NOT NULL,
  path TEXT NOT NULL COLLATE NOCASE,
  UNIQUE (hive, path));
CREATE TABLE IF NOT EXISTS reg_values (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  key_id INTEGER NOT NULL REFERENCES reg_keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE (key_id, name));
CREATE TABLE IF NOT EXISTS printers (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  driver TEXT NOT NULL,
  port TEXT NOT NULL,
  comment TEXT NOT NULL DEFAULT '',
  location TEXT NOT NULL DEFAULT '',
  attributes INTEGER NOT NULL,
  devmode BLOB,
  user_devmode BLOB);
CREATE TABLE IF NOT EXISTS printer_data (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  printer_id INTEGER NOT NULL REFERENCES printers(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE (printer_id, name));
CREATE TABLE IF NOT EXISTS drivers (
  name TEXT PRIMARY KEY COLLATE NOCASE,
  environment TEXT NOT NULL,
  driver_path TEXT NOT NULL,
  data_file TEXT NOT NULL,
  config_file TEXT NOT NULL,
  help_file TEXT NOT NULL,
  dependent_files TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS forms (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  flags INTEGER NOT NULL,
  width INTEGER NOT NULL, height INTEGER NOT NULL,
  left_ INTEGER NOT NULL, top_ INTEGER NOT NULL, right_ INTEGER NOT NULL, bottom_ INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS ports (
  port TEXT PRIMARY KEY COLLATE NOCASE,
  device TEXT,
  baud INTEGER, data_bits INTEGER, parity TEXT, stop_bits INTEGER, handshake TEXT);
CREATE TABLE IF NOT EXISTS locale_overrides (
  item TEXT PRIMARY KEY COLLATE NOCASE,
  value TEXT NOT NULL);
)sql";

struct Connection {
  fs::path path;
  pid_t pid = 0;
  sqlite3* db = nullptr;
  ~Connection() { if (db) sqlite3_close(db); }
};

// One connection per thread and root: SQLite in WAL mode lets readers and one
// writer of every process work side by side, and no lock is shared in-process.
thread_local Connection t_connection;

Status Exec(sqlite3* db, const char* sql, std::string_view what) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    return MakeError(ERROR_BADDB, "machine store " + DatabasePath().string() + ": " + std::string(what) +
                                      ": " + text);
  }
  return {};
}

Status Prepare(sqlite3* db) {
  if (auto s = Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;",
                    "setting up the journal");
      !s)
    return s;
  Statement check(db, "PRAGMA quick_check");
  if (!check.prepared() || check.Step() != SQLITE_ROW || check.Text(0) != "ok")
    return MakeError(ERROR_BADDB, "machine store " + DatabasePath().string() +
                                      " is damaged; move it aside to start a new machine");
  Statement version(db, "PRAGMA user_version");
  if (!version.prepared() || version.Step() != SQLITE_ROW) return DatabaseError(db, "reading the version");
  std::int64_t found = version.Int(0);
  if (found > kSchemaVersion)
    return MakeError(ERROR_BADDB, "machine store " + DatabasePath().string() + " has version " +
                                      std::to_string(found) + ", newer than this package understands (" +
                                      std::to_string(kSchemaVersion) + ")");
  if (found < kSchemaVersion) {
    if (auto s = Exec(db, "BEGIN IMMEDIATE", "starting the schema"); !s) return s;
    std::string sql = std::string(kSchema) + "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    if (auto s = Exec(db, sql.c_str(), "creating the schema"); !s) {
      (void)Exec(db, "ROLLBACK", "rolling back");
      return s;
    }
    if (auto s = Exec(db, "COMMIT", "committing the schema"); !s) return s;
  }
  return {};
}

Result<sqlite3*> Open() {
  fs::path path = DatabasePath();
  if (t_connection.db && t_connection.pid != getpid()) {
    // A connection must not cross fork(): abandon the parent's without closing.
    t_connection.db = nullptr;
  }
  if (t_connection.db && t_connection.path == path) return t_connection.db;
  if (t_connection.db) {
    sqlite3_close(t_connection.db);
    t_connection.db = nullptr;
  }
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec)
    return MakeError(ERROR_ACCESS_DENIED,
                     "cannot create the machine root " + path.parent_path().string() + ": " + ec.message());
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    Error e = MakeError(ERROR_ACCESS_DENIED, "cannot open the machine store " + path.string() + ": " +
                                                 (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
    sqlite3_close(db);
    return e;
  }
  sqlite3_busy_timeout(db, 15000);
  if (auto s = Prepare(db); !s) {
    sqlite3_close(db);
    return s.error();
  }
  t_connection.path = path;
  t_connection.pid = getpid();
  t_connection.db = db;
  return db;
}

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK)
    stmt_ = nullptr;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::int64_t value) {
  if (stmt_) sqlite3_bind_int64(stmt_, index, value);
  return *this;
}
Statement& Statement::Bind(int index, std::string_view text) {
  if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}
Statement& Statement::BindBlob(int index, std::span<const std::uint8_t> bytes) {
  // A zero-length blob must still bind as a blob, not as NULL.
  static const std::uint8_t kEmpty = 0;
  if (stmt_)
    sqlite3_bind_blob(stmt_, index, bytes.empty() ? &kEmpty : bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
  return *this;
}
Statement& Statement::BindNull(int index) {
  if (stmt_) sqlite3_bind_null(stmt_, index);
  return *this;
}
int Statement::Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }
std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column)) : std::string();
}
std::vector<std::uint8_t> Statement::Blob(int column) const {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  return data ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>();
}
bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

Error DatabaseError(sqlite3* db, std::string_view what) {
  return MakeError(ERROR_BADDB,
                   "machine store " + DatabasePath().string() + ": " + std::string(what) + ": " + sqlite3_errmsg(db));
}

fs::path DatabasePath() { return MachineRoot() / "machine.db"; }

Status Check() {
  auto db = Open();
  if (!db) return db.error();
  return {};
}

Status Write(const std::function<Status(sqlite3*)>& work) {
  auto db = Open();
  if (!db) return db.error();
  if (auto s = Exec(*db, "BEGIN IMMEDIATE", "starting a change"); !s) return s;
  Status result = work(*db);
  if (!result) {
    (void)Exec(*db, "ROLLBACK", "rolling back");
    return result;
  }
  if (auto s = Exec(*db, "COMMIT", "committing a change"); !s) {
    (void)Exec(*db, "ROLLBACK", "rolling back");
    return s;
  }
  return {};
}

Status Read(const std::function<Status(sqlite3*)>& work) {
  auto db = Open();
  if (!db) return db.error();
  if (auto s = Exec(*db, "BEGIN", "starting a read"); !s) return s;
  Status result = work(*db);
  (void)Exec(*db, "COMMIT", "ending a read");
  return result;
}

}  // namespace klm::platform::store
