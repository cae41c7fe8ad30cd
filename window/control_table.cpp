#include "window/control_table.h"

#include <array>

namespace qv {
namespace {

using K = ControlKind;
using F = FormEvents;

constexpr std::array<ControlSpec, 19> kControls{{
    {"Command5", K::button, "End", 5760, 6480, 1455, 495, 18, &F::Command5_Click},
    {"Command4", K::button, "Clear pattern", 2880, 6480, 1455, 495, 17, &F::Command4_Click},
    {"Command3", K::button, "Go", 4320, 6480, 1455, 495, 16, &F::Command3_Click},
    {"Command2", K::button, "Command2", 7680, 1080, 1335, 495, 14, &F::Command2_Click},
    {"Text1", K::text_box, "Text1", 8040, 1920, 2895, 4215, 13, nullptr},
    {"Command1", K::button, "Command1", 7680, 480, 1455, 495, 12, &F::Command1_Click},
    {"masque", K::text_box, "framec*.htm", 240, 6480, 2415, 375, 8, &F::masque_Change},
    {"File2", K::file_list, "*.txt", 4200, 3120, 2895, 2235, 5, &F::File2_Click},
    {"Dir2", K::folder_list, "", 4200, 840, 2895, 2115, 4, &F::Dir2_Change},
    {"Drive2", K::drive_list, "", 4200, 480, 2895, 315, 3, &F::Drive2_Change},
    {"File1", K::file_list, "framec*.html", 360, 3240, 2895, 2235, 2, &F::File1_Click},
    {"Dir1", K::folder_list, "", 360, 840, 2895, 2115, 1, &F::Dir1_Change},
    {"Drive1", K::drive_list, "", 360, 480, 2895, 315, 0, &F::Drive1_Change},
    {"Label5", K::label, "Label5", 8160, 6480, 495, 495, 15, nullptr},
    {"pattern", K::label, "pattern :", 240, 6240, 3615, 255, 11, nullptr},
    {"Label1", K::label, "text file to insert", 3840, 120, 1935, 255, 10, nullptr},
    {"Label3", K::label, "Label1", 3840, 5760, 3615, 375, 9, nullptr},
    {"Label2", K::label, "Label2", 240, 5760, 3255, 255, 7, nullptr},
    {"titre1", K::label, "Web files to completed", 360, 120, 2775, 255, 6, nullptr},
}};

}  // namespace

std::span<const ControlSpec> control_table() { return kControls; }

const ControlSpec* find_control(std::string_view name) {
  for (const ControlSpec& row : kControls)
    if (row.name == name) return &row;
  return nullptr;
}

}  // namespace qv
