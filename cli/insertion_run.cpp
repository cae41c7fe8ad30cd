#include "cli/insertion_run.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "batch/page_batch.h"
#include "batch/report_words.h"
#include "cli/diff_preview.h"
#include "cli/page_editors.h"
#include "cli/page_list.h"
#include "engine/marker.h"
#include "system/file_io.h"
#include "system/stop_requests.h"

namespace qv::cli {
namespace {

std::string quoted(std::string_view path) { return "'" + std::string(path) + "'"; }

// "N pages <where> <done>", from what the report counted: what the run did before it stopped.
std::string pages_done(const Tally& tally, Operation operation, std::string_view where) {
  std::size_t changed = tally.upgraded;
  std::string_view done = " received the text";
  if (operation == Operation::remove) {
    changed = tally.removed;
    done = " had the text taken out";
  } else if (operation == Operation::replace) {
    changed = tally.replaced + tally.upgraded;
    done = " received the new text";
  }
  return page_count(changed) + " " + std::string(where) + std::string(done);
}

void report_failure(Report& report, const PageFailure& failure, std::size_t page_count,
                    WriteMode mode, Operation operation) {
  const char* verb = failure.access == PageAccess::read ? "cannot read " : "cannot write ";
  report.error(verb + quoted(failure.error.path) + ": " + failure.error.reason);
  std::string consequence = "the run stopped at page " + std::to_string(failure.index + 1) +
                            " of " + std::to_string(page_count) + ": ";
  if (mode == WriteMode::dry_run)
    consequence += "nothing has been written";
  else
    consequence += pages_done(report.tally(), operation, "before it") +
                   "; this page and the ones after it are unchanged";
  report.error(consequence);
}

// Says why a run stopped before its end, and what it did: `done` pages handled of `page_count`.
void report_stop(Report& report, std::size_t done, std::size_t page_count, WriteMode mode,
                 Operation operation) {
  if (const std::optional<std::string>& output = report.output_error())
    report.error("cannot write the output: " + *output);
  else
    report.error("stopped by " + std::string(stop_request_name(stop_request())));
  std::string consequence = "the run stopped after page " + std::to_string(done) + " of " +
                            std::to_string(page_count) + ": ";
  if (mode == WriteMode::dry_run)
    consequence += "nothing has been written";
  else
    consequence +=
        pages_done(report.tally(), operation, "up to it") + "; the ones after it are unchanged";
  report.error(consequence);
}

}  // namespace

ExitCode run_insertion(const Options& options, const Settings& settings, const Console& console) {
  Report report(console.out, console.err, options.verbosity, options.write_mode, console.progress,
                Report::Clock::now());
  if (options.preview == Preview::diff) report.set_diff_stream(console.out);

  const std::string& tag = options.tag ? *options.tag : settings.tag_text;
  if (tag.empty()) {
    report.error("the tag is empty in " + quoted(settings.settings_path) + "; give one with --tag");
    return ExitCode::usage;
  }

  std::string text;
  if (std::optional<IoError> error = read_file(options.text_file, text)) {
    report.error("cannot read the text file " + quoted(error->path) + ": " + error->reason +
                 "; no page has been changed");
    return ExitCode::file_failure;
  }
  std::string old_text;
  if (options.operation == Operation::replace) {
    if (std::optional<IoError> error = read_file(options.old_text_file, old_text)) {
      report.error("cannot read the old text file " + quoted(error->path) + ": " + error->reason +
                   "; no page has been changed");
      return ExitCode::file_failure;
    }
  }
  // The check guards what goes into the pages; a text taken out is not checked.
  const MarkerCheck check = options.operation == Operation::remove
                                ? MarkerCheck::off
                                : options.marker_check.value_or(settings.verification_on);
  if (!passes_marker_check(text, check)) {
    report.error("the text in " + quoted(options.text_file) + " does not contain \"" +
                 std::string(kInsertionMarker) +
                 "\": it is not a quorvane file; no page has been changed "
                 "(--no-verify inserts it anyway)");
    return ExitCode::not_quorvane;
  }

  // A folder that cannot be opened is told at once; the others are still done, and the exit
  // status says that pages may be missing.
  bool folders_left_out = false;
  std::variant<std::vector<std::string>, IoError> listed =
      list_pages(options.paths, options.pattern, options.recursion, [&](const IoError& error) {
        report.error("cannot open the folder " + quoted(error.path) + ": " + error.reason +
                     "; its pages are left out");
        folders_left_out = true;
      });
  if (const IoError* error = std::get_if<IoError>(&listed)) {
    report.error("cannot open " + quoted(error->path) + ": " + error->reason +
                 "; no page has been changed");
    return ExitCode::file_failure;
  }
  const std::vector<std::string>& pages = std::get<std::vector<std::string>>(listed);
  report.set_listed(pages.size());
  report.set_operation(options.operation);

  std::unique_ptr<PageEditor> editor;
  switch (options.operation) {
    case Operation::insert:
      editor = std::make_unique<InsertionEditor>(pages, tag, text, options.presence, report);
      break;
    case Operation::remove:
      editor = std::make_unique<RemovalEditor>(pages, tag, text, report);
      break;
    case Operation::replace:
      editor = std::make_unique<ReplacementEditor>(pages, tag, old_text, text, report);
      break;
  }
  std::optional<DiffingEditor> diffing;
  if (options.preview == Preview::diff) diffing.emplace(pages, *editor, report, console.diff_bytes);
  PageEditor& run_editor = diffing ? static_cast<PageEditor&>(*diffing) : *editor;
  const BatchResult result = rewrite_pages(pages, run_editor, options.write_mode, console.observer);

  ExitCode code = folders_left_out ? ExitCode::file_failure : ExitCode::done;
  if (result.failure) {
    report_failure(report, *result.failure, pages.size(), options.write_mode, options.operation);
    code = ExitCode::file_failure;
  }
  if (!result.failure && result.done < pages.size()) {
    report_stop(report, result.done, pages.size(), options.write_mode, options.operation);
    code = report.output_error() ? ExitCode::file_failure
                                 : static_cast<ExitCode>(stop_exit_status(stop_request()));
  }
  if (result.sync_error) {
    report.error(std::string(kUnconfirmedSync) + ": " + quoted(result.sync_error->path) + ": " +
                 result.sync_error->reason);
    code = ExitCode::file_failure;
  }
  report.set_notes(result.notes);
  report.finish();
  if (report.output_error() && code == ExitCode::done) code = ExitCode::file_failure;
  return code;
}

}  // namespace qv::cli
