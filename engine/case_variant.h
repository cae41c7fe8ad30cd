#pragma once

#include <optional>
#include <string_view>

namespace qv {

// The last stretch of `page` that equals `tag` (not empty) but for the letter case of ASCII
// letters, as it is written in the page; none when there is none. Used to tell why a page without
// the tag was left alone: the tag search itself stays exact.
std::optional<std::string_view> last_in_any_case(std::string_view page, std::string_view tag);

}  // namespace qv
