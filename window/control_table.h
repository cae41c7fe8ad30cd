#pragma once

// The window's controls as data: what each one is, where it sits, in which order the keyboard
// reaches it and which of the form's handlers its event raises. A binding creates one control per
// row, in the table's order.

#include <cstddef>
#include <span>
#include <string_view>

#include "window/form_events.h"

namespace qv {

enum class ControlKind { button, text_box, file_list, folder_list, drive_list, label };

// One control of the window. Positions and sizes are in twips, relative to the client area.
struct ControlSpec {
  std::string_view name;
  ControlKind kind;
  std::string_view text;  // a button's or label's caption, a text box's text, a file list's pattern
  int left;
  int top;
  int width;
  int height;
  int tab_index;  // order of the keyboard's Tab key; labels have one but never take the focus
  // The form's handler that the control's event raises (a button's or file list's click, the
  // change of the others), or null for a control with no event.
  void (FormEvents::*raises)();
};

inline constexpr std::string_view kWindowCaption = "Insert text in HTML files";
inline constexpr int kClientWidthTwips = 7590;
inline constexpr int kClientHeightTwips = 7320;
inline constexpr int kTwipsPerPixel = 15;

constexpr int twips_to_pixels(int twips) { return twips / kTwipsPerPixel; }

// Every control, in creation order.
std::span<const ControlSpec> control_table();

// The row named `name`, or null when there is none.
const ControlSpec* find_control(std::string_view name);

// Whether a control of this kind takes the keyboard focus (labels do not).
constexpr bool takes_focus(ControlKind kind) { return kind != ControlKind::label; }

}  // namespace qv
