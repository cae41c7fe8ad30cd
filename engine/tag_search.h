#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qv {

// The start (counted from 0) of the last occurrence of `needle` in `haystack`, compared byte for
// byte; none when it does not occur. An empty needle occurs at every position, the last being
// haystack.size(). Searches backwards from the end, so the cost follows the distance from the
// end to the match.
std::optional<std::size_t> find_last(std::string_view haystack, std::string_view needle);

}  // namespace qv
