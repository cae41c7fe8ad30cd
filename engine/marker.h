#pragma once

#include <string_view>

namespace qv {

// The text an insertion text must contain when the marker check is on: the start of the script
// variable declaration that identifies a quorvane snippet.
inline constexpr std::string_view kInsertionMarker = "var quorvaneSite =";

// Whether the insertion text must contain the insertion marker before a run touches any page.
enum class MarkerCheck { off, on };

// Whether the check lets `text` go into pages: always when it is off; when it is on, only a text
// that holds kInsertionMarker.
bool passes_marker_check(std::string_view text, MarkerCheck check);

// True when `text` contains `marker`, compared byte for byte with letter case significant.
bool holds_marker(std::string_view text, std::string_view marker);

}  // namespace qv
