#pragma once

#include <string>
#include <string_view>

namespace qv {

// `text` with its control characters (C0, DEL and the UTF-8 encoded C1 range) written as \xHH, so
// that a file name cannot move the cursor, retitle the terminal or hide itself.
std::string printable(std::string_view text);

}  // namespace qv
