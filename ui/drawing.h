// Pictures and what a controller draws into a control: toolkit-free
// descriptions that each view renders (the Qt view paints them, the headless
// view records them).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "resources/dialog_template.h"

namespace klm::ui {

using res::Rect;

// The colour that is transparent in the package's pictures.
inline constexpr std::uint32_t kMagenta = 0xFF00FF;

// A bitmap as the bytes of a BMP file. `id` names it in logs and tests.
struct Picture {
  std::uint32_t id = 0;
  std::shared_ptr<const std::vector<std::uint8_t>> bmp;

  static Picture FromBytes(std::uint32_t id, std::span<const std::uint8_t> bytes) {
    return Picture{id, std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end())};
  }
  explicit operator bool() const { return bmp && !bmp->empty(); }
};

enum class Fit : std::uint8_t {
  Natural,       // own size, top-left at the rectangle's corner
  Stretch,       // scaled to the rectangle
  StretchWidth,  // scaled to the rectangle's width, own height kept
};

struct DrawPicture {
  Picture picture;
  Rect rect;  // in the control; empty: the whole control
  Fit fit = Fit::Natural;
  std::optional<std::uint32_t> transparent;  // colour key, 0xRRGGBB
};

struct DrawText {
  std::string text;
  std::int32_t x = 0, y = 0;  // top-left of the text in the control
  std::uint32_t colour = 0;   // 0xRRGGBB
  std::string font_family;    // empty: the dialog's font
  std::int32_t pixel_height = 0;
  std::int32_t weight = 400;  // 700 bold
};

struct DrawFrame {
  Rect rect;  // empty: the control's edge
  std::uint32_t colour = 0;
  std::int32_t width = 1;
};

struct DrawFill {
  Rect rect;
  std::uint32_t colour = 0;
};

using DrawOp = std::variant<DrawPicture, DrawText, DrawFrame, DrawFill>;

// Picture-button states.
enum class ButtonState : std::uint8_t { Normal = 0, Hot = 1, Pressed = 2 };

// The states of a picture button as mouse and focus move it: hot under the
// mouse or with the focus, pressed while the left button is down on it.
class PictureButtonStateMachine {
 public:
  ButtonState state() const { return state_; }
  bool down() const { return down_; }
  void MouseMove() {
    if (!down_) state_ = ButtonState::Hot;
  }
  void FocusIn() { MouseMove(); }
  void LeftDown() {
    state_ = ButtonState::Pressed;
    down_ = true;
  }
  void LeftUp() {
    down_ = false;
    state_ = ButtonState::Normal;
  }
  void FocusOut() { state_ = ButtonState::Normal; }
  void MouseLeave() { state_ = ButtonState::Normal; }

 private:
  ButtonState state_ = ButtonState::Normal;
  bool down_ = false;
};

}  // namespace klm::ui
