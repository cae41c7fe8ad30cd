#include "engine/case_variant.h"

#include "text/ascii.h"

namespace qv {

std::optional<std::string_view> last_in_any_case(std::string_view page, std::string_view tag) {
  if (tag.empty() || tag.size() > page.size()) return std::nullopt;
  const char first = ascii_lower(tag.front());
  for (std::size_t at = page.size() - tag.size() + 1; at-- > 0;) {
    if (ascii_lower(page[at]) != first) continue;
    const std::string_view candidate = page.substr(at, tag.size());
    if (equal_ignoring_case(candidate, tag)) return candidate;
  }
  return std::nullopt;
}

}  // namespace qv
