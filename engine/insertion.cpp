#include "engine/insertion.h"

#include "engine/tag_search.h"

namespace qv {

std::string Insertion::joined() const {
  std::string content;
  content.reserve(size());
  for (std::string_view piece : pieces()) content.append(piece);
  return content;
}

std::optional<Insertion> insert_before_last(std::string_view page, std::string_view tag,
                                            std::string_view text) {
  std::optional<std::size_t> at = find_last(page, tag);
  if (!at) return std::nullopt;
  return Insertion{page.substr(0, *at), text, page.substr(*at)};
}

}  // namespace qv
