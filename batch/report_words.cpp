#include "batch/report_words.h"

namespace qv {

std::string page_count(std::size_t count, NoPage none) {
  if (count == 0 && none == NoPage::in_words) return "no page";
  return std::to_string(count) + (count == 1 ? " page" : " pages");
}

}  // namespace qv
