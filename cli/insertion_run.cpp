#include "cli/insertion_run.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "batch/page_batch.h"
#include "cli/page_list.h"
#include "cli/test_hooks.h"
#include "engine/insertion.h"
#include "engine/marker.h"
#include "engine/tag_search.h"
#include "files/file_io.h"
#include "files/stop_requests.h"

namespace qv::cli {
namespace {

std::string quoted(std::string_view path) { return "'" + std::string(path) + "'"; }

// Decides each page of the run: skipped when it already holds the text (with --skip-present),
// left alone without the tag, otherwise the framed insertion before the last tag. A page is
// reported only once the shared loop has finished with it, so that a page whose rewrite fails
// is not counted. The run stops after the page in hand when the program is asked to stop or its
// output cannot be written.
class InsertionEditor final : public PageEditor {
 public:
  InsertionEditor(std::span<const std::string> pages, std::string_view tag, std::string_view text,
                  Presence presence, Report& report)
      : pages_(pages),
        tag_(tag),
        text_(text),
        presence_(presence),
        report_(report),
        outcomes_(pages.size(), Outcome::no_tag) {}

  std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                    std::string_view page) override {
    if (test_hooks::page_in_hand != nullptr) test_hooks::page_in_hand(index);
    // Pages are decided a group ahead of being done: each keeps its own outcome till then.
    Outcome& outcome = outcomes_[index];
    if (presence_ == Presence::skip_present && find_last(page, text_)) {
      outcome = Outcome::skipped;
      return std::nullopt;
    }
    std::optional<Insertion> insertion = insert_before_last(page, tag_, text_);
    if (!insertion) {
      outcome = Outcome::no_tag;
      return std::nullopt;
    }
    outcome = Outcome::upgraded;
    const auto pieces = insertion->pieces();
    return std::vector<std::string_view>(pieces.begin(), pieces.end());
  }

  void page_done(std::size_t index, PageOutcome outcome) override {
    if (outcome == PageOutcome::already_rewritten) outcomes_[index] = Outcome::skipped;
    report_.page(pages_[index], outcomes_[index], Report::Clock::now());
  }

  // A stop request, or an output that cannot be written, ends the run after the page in hand.
  bool stop_requested() const override {
    return stop_request() != StopRequest::none || report_.output_error().has_value();
  }

 private:
  std::span<const std::string> pages_;
  std::string_view tag_;
  std::string_view text_;
  Presence presence_;
  Report& report_;
  std::vector<Outcome> outcomes_;
};

void report_failure(Report& report, const PageFailure& failure, std::size_t page_count,
                    WriteMode mode) {
  const char* verb = failure.access == PageAccess::read ? "cannot read " : "cannot write ";
  report.error(verb + quoted(failure.error.path) + ": " + failure.error.reason);
  std::string consequence = "the run stopped at page " + std::to_string(failure.index + 1) +
                            " of " + std::to_string(page_count) + ": ";
  if (mode == WriteMode::dry_run)
    consequence += "nothing has been written";
  else
    consequence +=
        "the pages before it received the text; this page and the ones after it are unchanged";
  report.error(consequence);
}

// Says why a run stopped before its end, and what it did: `done` pages handled of `page_count`.
void report_stop(Report& report, std::size_t done, std::size_t page_count, WriteMode mode) {
  if (const std::optional<std::string>& output = report.output_error())
    report.error("cannot write the output: " + *output);
  else
    report.error("stopped by " + std::string(stop_request_name(stop_request())));
  std::string consequence = "the run stopped after page " + std::to_string(done) + " of " +
                            std::to_string(page_count) + ": ";
  if (mode == WriteMode::dry_run)
    consequence += "nothing has been written";
  else
    consequence += "the pages up to it received the text; the ones after it are unchanged";
  report.error(consequence);
}

}  // namespace

ExitCode run_insertion(const Options& options, const Settings& settings, const Console& console) {
  Report report(console.out, console.err, options.verbosity, options.write_mode, console.progress,
                Report::Clock::now());

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
  const MarkerCheck check = options.marker_check.value_or(settings.verification_on);
  if (check == MarkerCheck::on && !holds_marker(text, kInsertionMarker)) {
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

  InsertionEditor editor(pages, tag, text, options.presence, report);
  const BatchResult result = rewrite_pages(pages, editor, options.write_mode);

  ExitCode code = folders_left_out ? ExitCode::file_failure : ExitCode::done;
  if (result.failure) {
    report_failure(report, *result.failure, pages.size(), options.write_mode);
    code = ExitCode::file_failure;
  }
  if (!result.failure && result.done < pages.size()) {
    report_stop(report, result.done, pages.size(), options.write_mode);
    code = report.output_error() ? ExitCode::file_failure
                                 : static_cast<ExitCode>(stop_exit_status(stop_request()));
  }
  if (result.sync_error) {
    report.error(
        "the pages were rewritten, but the system could not confirm that they are "
        "safely on disk: " +
        quoted(result.sync_error->path) + ": " + result.sync_error->reason);
    code = ExitCode::file_failure;
  }
  report.finish();
  if (report.output_error() && code == ExitCode::done) code = ExitCode::file_failure;
  return code;
}

}  // namespace qv::cli
