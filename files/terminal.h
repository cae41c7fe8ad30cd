#pragma once

#include <cstdio>

namespace qv {

// True when `stream` is connected to a terminal (a person is watching it, not a file or a pipe).
bool is_terminal(std::FILE* stream);

}  // namespace qv
