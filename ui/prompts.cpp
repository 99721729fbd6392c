#include "ui/prompts.h"

namespace klm::ui {

std::vector<std::pair<std::string, std::string>> ParseFilterString(std::string_view filter) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : filter) {
    if (c == '|' || c == '\0') {
      parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  std::vector<std::pair<std::string, std::string>> out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
    if (!parts[i].empty() || !parts[i + 1].empty()) out.emplace_back(parts[i], parts[i + 1]);
  return out;
}

}  // namespace klm::ui
