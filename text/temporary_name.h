#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The names of the temporary files that page rewrites create beside the pages.
namespace qv {

// True when `name` is one of the temporary files that page rewrites create (and that a killed run
// may leave behind): a hidden name of fixed length, whatever the page's name.
bool is_temporary_name(std::string_view name);

namespace detail {

// Temporary files are named ".qv-tmp-" followed by eight letters or digits: short whatever the
// page's name, hidden, and recognisable as the leftovers of a run.
inline constexpr std::string_view kTemporaryPrefix = ".qv-tmp-";
inline constexpr std::size_t kTemporaryRandomLength = 8;

// A fresh temporary name; successive calls in a process never repeat, and processes started
// together draw from different seeds.
std::string new_temporary_name();

}  // namespace detail
}  // namespace qv
