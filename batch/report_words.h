#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// The words the window's messages and the command line's report share about a run.

// How a count of no page is written: "no page" in a sentence, "0 pages" in a tally.
enum class NoPage { in_words, as_number };

// "no page" (or "0 pages"), "1 page", "N pages".
std::string page_count(std::size_t count, NoPage none = NoPage::in_words);

// What a failed final sync means, as a sentence without its capital or full stop.
inline constexpr std::string_view kUnconfirmedSync =
    "the pages were rewritten, but the system could not confirm that they are safely on disk";

}  // namespace qv
