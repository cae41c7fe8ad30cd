#pragma once

#include <cstdint>
#include <string>

namespace qv {

// A number as messages show it: a space before a number that is not negative (" 12", "-5").
std::string signed_form(std::int64_t number);

// A number without that space ("12"), as the count label shows it.
std::string plain_form(std::int64_t number);

}  // namespace qv
