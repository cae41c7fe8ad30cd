#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The line break that frames the inserted text on each side.
inline constexpr std::string_view kFrame = "\r\n";

// The length `text` takes in a page once framed.
constexpr std::size_t framed_size(std::string_view text) { return text.size() + 2 * kFrame.size(); }

// A page with the text inserted before its tag, kept as views of the original bytes so that it
// can be written out without first being copied into one string.
struct Insertion {
  std::string_view head;  // everything before the tag
  std::string_view text;  // the insertion text, unchanged
  std::string_view tail;  // the tag and everything after it

  // The new content in order: head, CR LF, text, CR LF, tail.
  std::array<std::string_view, 5> pieces() const { return {head, kFrame, text, kFrame, tail}; }
  // Length of the new content.
  std::size_t size() const { return head.size() + framed_size(text) + tail.size(); }
  // The new content as one string.
  std::string joined() const;
};

// Plans the insertion of `text`, framed by CR LF on each side, just before the last occurrence of
// `tag` in `page`; none when the tag does not occur (the page is then to stay as it is).
std::optional<Insertion> insert_before_last(std::string_view page, std::string_view tag,
                                            std::string_view text);

// Inserts `text`, framed by CR LF on each side, just before the last occurrence of `tag` in
// `page`, in place: a page read with room for the text is not copied. False, the page unchanged,
// when the tag does not occur.
bool insert_in_place(std::string& page, std::string_view tag, std::string_view text);

// Finds `text` where insert_before_last would have put it: framed by CR LF on each side, just
// before the last occurrence of `tag`. The result views `page`, which it joins back into; its
// head followed by its tail is the page as it was before that insertion. None when the text does
// not stand there.
std::optional<Insertion> find_insertion(std::string_view page, std::string_view tag,
                                        std::string_view text);

}  // namespace qv
