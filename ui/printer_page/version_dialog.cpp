#include "ui/printer_page/version_dialog.h"

namespace klm::ui {

bool VersionDialog::OnInit() {
  const res::ResourceLibrary* lib = view().library();
  auto text = [lib](std::uint32_t id) { return lib ? lib->LoadString(id).value_or("") : std::string(); };
  view().SetTitle(text(3013));
  view().SetText(800, res::FormatOne(text(3014), kModelName));
  view().SetText(801, res::FormatOne(text(3015), kVersion));
  view().SetText(803, res::FormatOne(text(3017), kPlatform));
  view().SetText(804, res::FormatOne(text(3018), kYears));
  view().SetText(805, text(3019));
  if (picture_) view().SetDrawing(806, {DrawPicture{picture_, {}, Fit::Stretch, std::nullopt}});
  view().SetDrawing(807, {DrawFrame{{}, 0xFFFFFF, 1}});
  return true;
}

}  // namespace klm::ui
