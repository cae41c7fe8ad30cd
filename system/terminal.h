#pragma once

#include <cstdio>

namespace qv {

// True when `stream` is connected to a terminal (a person is watching it, not a file or a pipe).
bool is_terminal(std::FILE* stream);

// Makes `stream` write its bytes as they are: on Windows, stops the C library from turning each
// LF into CR LF; elsewhere there is nothing to do.
void keep_line_breaks(std::FILE* stream);

}  // namespace qv
