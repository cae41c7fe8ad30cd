#pragma once

#include <cstdio>
#include <span>
#include <string>

namespace qv {
class BatchObserver;
}

namespace qv::cli {

// The whole program: reads `arguments` (its own name excluded), answers --help and --version,
// loads the settings beside the executable and runs the insertion, its page loop watched by
// `observer` when given. Returns the exit status.
int program_main(std::span<const std::string> arguments, std::FILE* out, std::FILE* err,
                 BatchObserver* observer = nullptr);

}  // namespace qv::cli
