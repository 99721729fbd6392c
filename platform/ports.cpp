#include "platform/ports.h"

#include "platform/store.h"

namespace klm::platform {

namespace {

using store::Statement;

std::string PortKey(std::string_view name) {
  while (!name.empty() && (name.back() == ':' || name.back() == ' ')) name.remove_suffix(1);
  return std::string(name);
}

}  // namespace

Result<std::string> PortDevice(std::string_view port_name) {
  std::string device;
  std::string key = PortKey(port_name);
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT device FROM ports WHERE port=?1 AND device IS NOT NULL");
    q.Bind(1, key);
    if (q.Step() != SQLITE_ROW)
      return MakeError(ERROR_UNKNOWN_PORT, "port \"" + std::string(port_name) + "\" is not mapped to a device");
    device = q.Text(0);
    return {};
  });
  if (!s) return s.error();
  return device;
}

Status MapPort(std::string_view port_name, std::string_view device) {
  std::string key = PortKey(port_name);
  if (key.empty() || device.empty()) return MakeError(ERROR_INVALID_PARAMETER, "a port map needs a port and a device");
  return store::Write([&](sqlite3* db) -> Status {
    Statement up(db, "INSERT INTO ports(port, device) VALUES (?1, ?2) "
                     "ON CONFLICT(port) DO UPDATE SET device=excluded.device");
    up.Bind(1, key).Bind(2, device);
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "mapping port " + key);
    return {};
  });
}

Status UnmapPort(std::string_view port_name) {
  std::string key = PortKey(port_name);
  return store::Write([&](sqlite3* db) -> Status {
    Statement up(db, "UPDATE ports SET device=NULL WHERE port=?1 AND device IS NOT NULL");
    up.Bind(1, key);
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "unmapping port " + key);
    if (sqlite3_changes(db) == 0)
      return MakeError(ERROR_UNKNOWN_PORT, "port \"" + std::string(port_name) + "\" is not mapped");
    return {};
  });
}

Result<std::vector<PortMapping>> ListPorts() {
  std::vector<PortMapping> out;
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT port, device FROM ports WHERE device IS NOT NULL ORDER BY port");
    while (q.Step() == SQLITE_ROW) out.push_back({q.Text(0), q.Text(1)});
    return {};
  });
  if (!s) return s.error();
  return out;
}

Result<SerialDefaults> GetDefaultCommConfig(std::string_view port_name) {
  SerialDefaults config;
  std::string key = PortKey(port_name);
  Status s = store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT baud, data_bits, parity, stop_bits, handshake FROM ports WHERE port=?1 AND baud IS NOT NULL");
    q.Bind(1, key);
    if (q.Step() == SQLITE_ROW) {
      config.baud_rate = static_cast<std::uint32_t>(q.Int(0));
      config.data_bits = static_cast<std::uint8_t>(q.Int(1));
      std::string parity = q.Text(2), handshake = q.Text(4);
      config.parity = parity.empty() ? 'n' : parity[0];
      config.stop_bits = static_cast<std::uint8_t>(q.Int(3));
      config.handshake = handshake.empty() ? 'p' : handshake[0];
    }
    return {};
  });
  if (!s) return s.error();
  return config;
}

Status SetDefaultCommConfig(std::string_view port_name, const SerialDefaults& config) {
  std::string key = PortKey(port_name);
  if (key.empty()) return MakeError(ERROR_INVALID_PARAMETER, "a port configuration needs a port name");
  return store::Write([&](sqlite3* db) -> Status {
    Statement up(db,
                 "INSERT INTO ports(port, baud, data_bits, parity, stop_bits, handshake) VALUES (?1,?2,?3,?4,?5,?6) "
                 "ON CONFLICT(port) DO UPDATE SET baud=excluded.baud, data_bits=excluded.data_bits, "
                 "parity=excluded.parity, stop_bits=excluded.stop_bits, handshake=excluded.handshake");
    up.Bind(1, key)
        .Bind(2, config.baud_rate)
        .Bind(3, config.data_bits)
        .Bind(4, std::string_view(&config.parity, 1))
        .Bind(5, config.stop_bits)
        .Bind(6, std::string_view(&config.handshake, 1));
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "configuring port " + key);
    return {};
  });
}

}  // namespace klm::platform
