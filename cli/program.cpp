#include "cli/program.h"

#include <string_view>
#include <variant>

#include "cli/arguments.h"
#include "cli/insertion_run.h"
#include "cli/report.h"
#include "cli/show_settings.h"
#include "settings/settings.h"
#include "system/file_io.h"
#include "system/terminal.h"

namespace qv::cli {
namespace {

// A progress line helps only someone watching the error stream, and would be torn apart by
// per-page lines arriving on the same screen.
ProgressDisplay progress_for(const Options& options, std::FILE* out, std::FILE* err) {
  if (options.verbosity == Verbosity::quiet || !is_terminal(err)) return ProgressDisplay::off;
  const bool page_lines = options.verbosity == Verbosity::verbose ||
                          options.write_mode == WriteMode::dry_run ||
                          options.preview == Preview::diff;
  if (page_lines && is_terminal(out)) return ProgressDisplay::off;
  return ProgressDisplay::on;
}

}  // namespace

int program_main(std::span<const std::string> arguments, std::FILE* out, std::FILE* err,
                 BatchObserver* observer) {
  std::variant<Options, UsageError> parsed = parse_arguments(arguments);
  if (const UsageError* error = std::get_if<UsageError>(&parsed)) {
    const std::string name(kProgramName);
    put(err, name + ": " + printable(error->message) + "\n" + usage_text() + "Try '" + name +
                 " --help' for more information.\n");
    return static_cast<int>(ExitCode::usage);
  }
  const Options& options = std::get<Options>(parsed);
  switch (options.action) {
    case Action::help:
      put(out, help_text());
      return static_cast<int>(ExitCode::done);
    case Action::version:
      put(out, std::string(kProgramName) + " " + QV_VERSION + "\n");
      return static_cast<int>(ExitCode::done);
    case Action::run:
    case Action::show_settings:
      break;
  }
  const Settings settings = load_settings(application_folder());
  if (options.action == Action::show_settings) {
    show_settings(options, settings, out);
    return static_cast<int>(ExitCode::done);
  }
  if (settings.read_error) {
    // Going on with the defaults would put the text somewhere the settings may not want it.
    put(err, std::string(kProgramName) + ": " +
                 printable("cannot read the settings file '" + settings.read_error->path +
                           "': " + settings.read_error->reason + "; no page has been changed") +
                 "\n");
    return static_cast<int>(ExitCode::file_failure);
  }
  // A diff keeps the pages' bytes unless a person reads it on a terminal, where control bytes
  // could move the cursor or hide text.
  const DiffBytes diff_bytes = is_terminal(out) ? DiffBytes::escaped : DiffBytes::exact;
  if (options.preview == Preview::diff && diff_bytes == DiffBytes::exact) keep_line_breaks(out);
  const Console console{out, err, progress_for(options, out, err), diff_bytes, observer};
  return static_cast<int>(run_insertion(options, settings, console));
}

}  // namespace qv::cli
