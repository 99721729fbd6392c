#include "converter/command_line.h"

namespace klm::converter {

std::optional<std::string> TakePathArgument(std::string_view argument) {
  if (argument.size() >= kMaxArgumentLength) return std::nullopt;
  if (argument.size() > 2 && argument.front() == '"' && argument.back() == '"')
    argument = argument.substr(1, argument.size() - 2);
  return std::string(argument);
}

}  // namespace klm::converter
