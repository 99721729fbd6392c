// Every field of a stored DEVMODE by name, for people who look inside one
// ("klm71 devmode show"). Decoding reads only what the bytes hold.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/result.h"

namespace klm::driver {

enum class FieldKind : std::uint8_t { U8, I8, U16, I16, U32, I32, Text16, Ascii };

struct DevmodeField {
  const char* name;
  bool in_private;        // offset counts from the start of the private part
  std::uint16_t offset;
  FieldKind kind;
  std::uint16_t size;     // bytes
};

// The public fields, then the private ones, in the order of their offsets.
std::span<const DevmodeField> DevmodeFields();

struct DecodedField {
  std::string name;
  bool in_private = false;
  std::variant<std::int64_t, std::string> value;
};

struct DecodedDevmode {
  std::size_t byte_count = 0;
  std::uint16_t size = 0;          // dmSize
  std::uint16_t driver_extra = 0;  // dmDriverExtra
  std::vector<DecodedField> fields;
  // Fields that lie beyond dmSize, dmDriverExtra or the bytes present.
  std::vector<std::string> missing;
};

// ERROR_INVALID_DATA when the bytes do not hold a DEVMODE header.
Result<DecodedDevmode> DecodeDevmode(std::span<const std::uint8_t> bytes);

}  // namespace klm::driver
