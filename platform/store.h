// The machine store: one SQLite database under the machine root, shared by
// every process of the package. Internal to the platform library; the public
// services (registry, spooler, ports, locale) are built on it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace klm::platform::store {

// A prepared statement bound to one query; steps and reads columns.
class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool prepared() const { return stmt_ != nullptr; }
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindBlob(int index, std::span<const std::uint8_t> bytes);
  Statement& BindNull(int index);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  std::vector<std::uint8_t> Blob(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs `work` inside one write transaction (BEGIN IMMEDIATE ... COMMIT) on
// the current machine root's database. A failed Status rolls back.
Status Write(const std::function<Status(sqlite3*)>& work);

// Runs `work` with the database for reading (a consistent snapshot).
Status Read(const std::function<Status(sqlite3*)>& work);

// The error for a failed SQLite call, naming the database file.
Error DatabaseError(sqlite3* db, std::string_view what);

// The database file of the current machine root.
std::filesystem::path DatabasePath();

// Opens (creating when needed) the current root's database and checks it.
Status Check();

}  // namespace klm::platform::store
