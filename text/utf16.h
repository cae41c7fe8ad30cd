#pragma once

#include <string>
#include <string_view>

namespace qv {

// Converts UTF-16 LE bytes (byte-order mark already removed) to UTF-8. An unpaired surrogate
// becomes U+FFFD; an odd trailing byte is dropped.
std::string utf16le_to_utf8(std::string_view bytes);

}  // namespace qv
