#include "ui/help/context_help.h"

namespace klm::ui::help {

std::uint32_t ContextFor(std::span<const HelpPair> table, int id) {
  for (const auto& [control, context] : table)
    if (control == id) return context;
  return 0;
}

Status ShowContextHelp(DialogView& view, const std::filesystem::path& book, std::span<const HelpPair> table, int id) {
  return view.shell().ShowHelp(book, ContextFor(table, id));
}

}  // namespace klm::ui::help
