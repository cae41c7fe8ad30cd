#include "window/number_form.h"

namespace qv {

std::string signed_form(std::int64_t number) {
  return number < 0 ? std::to_string(number) : " " + std::to_string(number);
}

std::string plain_form(std::int64_t number) { return std::to_string(number); }

}  // namespace qv
