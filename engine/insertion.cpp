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

bool insert_in_place(std::string& page, std::string_view tag, std::string_view text) {
  const std::optional<Insertion> insertion = insert_before_last(page, tag, text);
  if (!insertion) return false;
  // One move of the tail: the framed text is put together first.
  const std::array<std::string_view, 5> pieces = insertion->pieces();
  std::string framed;
  framed.reserve(framed_size(text));
  for (std::size_t i = 1; i < 4; ++i) framed.append(pieces[i]);
  page.insert(insertion->head.size(), framed);
  return true;
}

std::optional<Insertion> find_insertion(std::string_view page, std::string_view tag,
                                        std::string_view text) {
  // The tag that closed the page before the insertion is still its last one: the text went in
  // before it, and nothing after it changed.
  const std::optional<std::size_t> at = find_last(page, tag);
  if (!at || *at < framed_size(text)) return std::nullopt;
  const std::size_t start = *at - framed_size(text);
  const std::string_view framed = page.substr(start, framed_size(text));
  if (!framed.starts_with(kFrame) || !framed.ends_with(kFrame) ||
      framed.substr(kFrame.size(), text.size()) != text)
    return std::nullopt;
  return Insertion{page.substr(0, start), page.substr(start + kFrame.size(), text.size()),
                   page.substr(*at)};
}

}  // namespace qv
