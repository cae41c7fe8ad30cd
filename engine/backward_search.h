#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qv {

// The start of the last occurrence of `needle` (not empty, not longer than `haystack`) in
// `haystack`, or none. Boyer-Moore run from the end towards the start (strong good-suffix and
// bad-byte shifts), so its time is linear in the haystack whatever the bytes: the fallback of
// find_last when its byte filter lets too many positions through.
std::optional<std::size_t> find_last_skipping(std::string_view haystack, std::string_view needle);

// The number of leading bytes that `a` and `b` (each `size` bytes long) have in common.
std::size_t common_prefix(const char* a, const char* b, std::size_t size);

}  // namespace qv
