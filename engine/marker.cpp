#include "engine/marker.h"

#include "engine/tag_search.h"

namespace qv {

bool holds_marker(std::string_view text, std::string_view marker) {
  return find_last(text, marker).has_value();
}

bool passes_marker_check(std::string_view text, MarkerCheck check) {
  return check == MarkerCheck::off || holds_marker(text, kInsertionMarker);
}

}  // namespace qv
