#pragma once

#include <cstddef>

// A seam for tests that must act at a known point of a command-line run, such as sending a signal
// while a given page is in hand. The program never sets it.
namespace qv::cli::test_hooks {

// Called with the index of each page once it has been read and before it is written.
inline void (*page_in_hand)(std::size_t index) = nullptr;

}  // namespace qv::cli::test_hooks
