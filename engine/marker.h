#pragma once

#include <string_view>

namespace qv {

// The text an insertion text must contain when the marker check is on: the start of the script
// variable declaration that identifies a quorvane snippet.
inline constexpr std::string_view kInsertionMarker = "var quorvaneSite =";

// Whether the insertion text must contain the insertion marker before a run touches any page.
enum class MarkerCheck { off, on };

// True when `text` contains `marker`, compared byte for byte with letter case significant.
bool holds_marker(std::string_view text, std::string_view marker);

}  // namespace qv
