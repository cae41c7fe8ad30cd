#pragma once

// What the tests of every layer say about pages: the text they insert, a page as an insertion
// leaves it, the names in a folder and the temporary files a rewrite left behind.

#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace qv::testing {

// The text the tests insert: it passes the marker check.
inline const std::string kSnippet = "<script>var quorvaneSite = \"x\";</script>";

// A page as the insertion of kSnippet leaves it: `head`, the snippet on its own lines, `tail`.
inline std::string with_snippet(std::string_view head, std::string_view tail) {
  return std::string(head) + "\r\n" + kSnippet + "\r\n" + std::string(tail);
}

// The names in `folder`, hidden ones included, sorted.
std::vector<std::string> every_name(const std::string& folder);

// The temporary files of a rewrite in `folder`, sorted.
std::vector<std::string> leftovers(const std::string& folder);

// Succeeds when `folder` holds no temporary file of a rewrite; otherwise names them.
::testing::AssertionResult no_leftovers(const std::string& folder);

}  // namespace qv::testing
