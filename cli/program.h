#pragma once

#include <cstdio>
#include <span>
#include <string>

namespace qv::cli {

// The whole program: reads `arguments` (its own name excluded), answers --help and --version,
// loads the settings beside the executable and runs the insertion. Returns the exit status.
int program_main(std::span<const std::string> arguments, std::FILE* out, std::FILE* err);

}  // namespace qv::cli
