#pragma once

#include <cstdio>

#include "cli/arguments.h"
#include "settings/settings.h"

namespace qv::cli {

// Writes to `out` where the settings file was looked for and whether it was read, the marker check
// and the tag that a run with `options` would use and where each comes from, and every line of
// the file that the reader ignored, with its number and why.
void show_settings(const Options& options, const Settings& settings, std::FILE* out);

}  // namespace qv::cli
