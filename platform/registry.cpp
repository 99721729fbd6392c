#include "platform/registry.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/store.h"

namespace klm::platform {

namespace {

using store::Statement;

// "A\\B\\" and "\\a\\b" name the same key.
std::string NormaliseKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

Error NotFound(std::string_view what, std::string_view name) {
  return MakeError(ERROR_FILE_NOT_FOUND, std::string(what) + " \"" + std::string(name) + "\" does not exist");
}

Result<std::int64_t> FindKey(sqlite3* db, Hive hive, const std::string& key) {
  Statement q(db, "SELECT id FROM reg_keys WHERE hive=?1 AND path=?2");
  q.Bind(1, static_cast<int>(hive)).Bind(2, key);
  if (q.Step() == SQLITE_ROW) return q.Int(0);
  return NotFound("registry key", key);
}

Status CreateKeyIn(sqlite3* db, Hive hive, const std::string& key) {
  // Every ancestor exists as a key of its own, as on the platform.
  for (std::size_t pos = 0;;) {
    pos = key.find('\\', pos);
    std::string prefix = key.substr(0, pos);
    Statement ins(db, "INSERT OR IGNORE INTO reg_keys(hive, path) VALUES (?1, ?2)");
    ins.Bind(1, static_cast<int>(hive)).Bind(2, prefix);
    if (ins.Step() != SQLITE_DONE) return store::DatabaseError(db, "creating registry key " + prefix);
    if (pos == std::string::npos) break;
    ++pos;
  }
  return {};
}

}  // namespace

RegValue RegValue::Dword(std::uint32_t value) {
  RegValue v{RegType::Dword, std::vector<std::uint8_t>(4)};
  for (int i = 0; i < 4; ++i) v.data[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return v;
}

RegValue RegValue::String(std::u16string_view text) {
  RegValue v{RegType::Sz, {}};
  v.data.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    v.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    v.data.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  v.data.push_back(0);
  v.data.push_back(0);
  return v;
}

RegValue RegValue::StringUtf8(std::string_view text) { return String(Utf8ToUtf16(text)); }

RegValue RegValue::Binary(std::span<const std::uint8_t> bytes) {
  return RegValue{RegType::Binary, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

std::optional<std::uint32_t> RegValue::AsDword() const {
  if ((type != RegType::Dword && type != RegType::Binary) || data.size() != 4) return std::nullopt;
  return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) | static_cast<std::uint32_t>(data[3]) << 24;
}

std::optional<std::u16string> RegValue::AsString() const {
  if (type != RegType::Sz && type != RegType::ExpandSz) return std::nullopt;
  std::u16string out;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

bool RegKeyExists(Hive hive, std::string_view key) {
  bool found = false;
  (void)store::Read([&](sqlite3* db) -> Status {
    found = FindKey(db, hive, NormaliseKey(key)).ok();
    return {};
  });
  return found;
}

Status RegCreateKey(Hive hive, std::string_view key) {
  std::string k = NormaliseKey(key);
  if (k.empty()) return MakeError(ERROR_INVALID_PARAMETER, "empty registry key name");
  return store::Write([&](sqlite3* db) { return CreateKeyIn(db, hive, k); });
}

Result<RegValue> RegQueryValue(Hive hive, std::string_view key, std::string_view name) {
  RegValue value;
  std::string k = NormaliseKey(key);
  Status s = store::Read([&](sqlite3* db) -> Status {
    auto id = FindKey(db, hive, k);
    if (!id) return id.error();
    Statement q(db, "SELECT type, data FROM reg_values WHERE key_id=?1 AND name=?2");
    q.Bind(1, *id).Bind(2, name);
    if (q.Step() != SQLITE_ROW) return NotFound("registry value", k + "\\" + std::string(name));
    value.type = static_cast<RegType>(q.Int(0));
    value.data = q.Blob(1);
    return {};
  });
  if (!s) return s.error();
  return value;
}

Status RegSetValue(Hive hive, std::string_view key, std::string_view name, const RegValue& value) {
  std::string k = NormaliseKey(key);
  return store::Write([&](sqlite3* db) -> Status {
    auto id = FindKey(db, hive, k);
    if (!id) return id.error();
    Statement up(db,
                 "INSERT INTO reg_values(key_id, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                 "ON CONFLICT(key_id, name) DO UPDATE SET type=excluded.type, data=excluded.data");
    up.Bind(1, *id).Bind(2, name).Bind(3, static_cast<std::int64_t>(value.type)).BindBlob(4, value.data);
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "setting registry value");
    return {};
  });
}

Status RegDeleteValue(Hive hive, std::string_view key, std::string_view name) {
  std::string k = NormaliseKey(key);
  return store::Write([&](sqlite3* db) -> Status {
    auto id = FindKey(db, hive, k);
    if (!id) return id.error();
    Statement del(db, "DELETE FROM reg_values WHERE key_id=?1 AND name=?2");
    del.Bind(1, *id).Bind(2, name);
    if (del.Step() != SQLITE_DONE) return store::DatabaseError(db, "deleting registry value");
    if (sqlite3_changes(db) == 0) return NotFound("registry value", k + "\\" + std::string(name));
    return {};
  });
}

Status RegDeleteKey(Hive hive, std::string_view key) {
  std::string k = NormaliseKey(key);
  return store::Write([&](sqlite3* db) -> Status {
    if (auto id = FindKey(db, hive, k); !id) return id.error();
    // The subtree: the key itself and every path below "key\".
    Statement del(db, "DELETE FROM reg_keys WHERE hive=?1 AND (path=?2 OR substr(path, 1, length(?3))=?3 COLLATE NOCASE)");
    del.Bind(1, static_cast<int>(hive)).Bind(2, k).Bind(3, k + "\\");
    if (del.Step() != SQLITE_DONE) return store::DatabaseError(db, "deleting registry key");
    return {};
  });
}

Result<std::vector<std::string>> RegListValues(Hive hive, std::string_view key) {
  std::vector<std::string> names;
  std::string k = NormaliseKey(key);
  Status s = store::Read([&](sqlite3* db) -> Status {
    auto id = FindKey(db, hive, k);
    if (!id) return id.error();
    Statement q(db, "SELECT name FROM reg_values WHERE key_id=?1 ORDER BY seq");
    q.Bind(1, *id);
    while (q.Step() == SQLITE_ROW) names.push_back(q.Text(0));
    return {};
  });
  if (!s) return s.error();
  return names;
}

Result<std::vector<std::string>> RegListSubkeys(Hive hive, std::string_view key) {
  std::vector<std::string> names;
  std::string k = NormaliseKey(key);
  Status s = store::Read([&](sqlite3* db) -> Status {
    if (auto id = FindKey(db, hive, k); !id) return id.error();
    Statement q(db, "SELECT path FROM reg_keys WHERE hive=?1 AND substr(path, 1, length(?2))=?2 COLLATE NOCASE "
                    "ORDER BY id");
    q.Bind(1, static_cast<int>(hive)).Bind(2, k + "\\");
    while (q.Step() == SQLITE_ROW) {
      std::string rest = q.Text(0).substr(k.size() + 1);
      if (rest.find('\\') == std::string::npos) names.push_back(rest);
    }
    return {};
  });
  if (!s) return s.error();
  return names;
}

}  // namespace klm::platform
