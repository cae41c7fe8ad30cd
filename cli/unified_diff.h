#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::cli {

// How the bytes of a page are written into a diff.
enum class DiffBytes {
  exact,    // as they are, so that `patch` and `git apply` give back the new page byte for byte
  escaped,  // control bytes other than a tab and the CR of a CR LF as \xHH, for a terminal
};

// The name a page goes by in a diff: its path with separators made '/', without a leading "./"
// or '/', quoted in C style (as git does) when it holds a space, a quote, a backslash, a control
// or a non-ASCII byte.
std::string diff_name(std::string_view path);

// A unified diff from `before` to `after` for the page `path`: "--- a/NAME" and "+++ b/NAME",
// then one hunk covering every changed line with `context` unchanged lines on each side. Lines
// end at LF only, so a CR stays part of its line; a last line without LF is followed by
// "\ No newline at end of file". Empty when the two are equal.
std::string unified_diff(std::string_view path, std::string_view before, std::string_view after,
                         DiffBytes bytes, std::size_t context = 3);

}  // namespace qv::cli
