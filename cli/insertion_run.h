#pragma once

#include <cstdio>

#include "batch/page_batch.h"
#include "cli/arguments.h"
#include "cli/report.h"
#include "cli/unified_diff.h"
#include "settings/settings.h"

namespace qv::cli {

// The program's exit status.
enum class ExitCode : int {
  done = 0,
  file_failure = 1,  // a page or the text file could not be read or written
  usage = 2,         // the command line cannot be run
  not_quorvane = 3,  // the text lacks the insertion marker while the check is on
  // A stop request (an interrupt, a termination) that ended the run early exits with the
  // request's own status, stop_exit_status.
};

// Where a run reports.
struct Console {
  std::FILE* out;
  std::FILE* err;
  ProgressDisplay progress;
  DiffBytes diff_bytes = DiffBytes::exact;  // how page bytes are written in diffs (--diff)
  BatchObserver* observer = nullptr;        // watches the page loop (tests)
};

// Runs a command line whose action is Action::run: checks the tag, reads the text (and the old
// text of a replacement), checks the marker of the text going in, lists the pages, then inserts,
// removes or replaces the text in them through the shared page loop. The
// tag and the marker check come from `options` where given, otherwise from `settings`.
ExitCode run_insertion(const Options& options, const Settings& settings, const Console& console);

}  // namespace qv::cli
