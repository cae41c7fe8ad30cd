#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/page_batch.h"
#include "cli/arguments.h"
#include "text/printable.h"

namespace qv::cli {

// Writes `text` to `stream` as it is (no formatting, embedded NULs kept).
void put(std::FILE* stream, std::string_view text);

// What a run did with one page.
enum class Outcome {
  upgraded,      // the text was inserted
  no_tag,        // left alone: no tag
  skipped,       // left alone: it already holds the text
  removed,       // the text was taken out
  without_text,  // left alone: the text does not stand where an insertion puts it
  replaced,      // the old text was swapped for the new one
  other_case,    // left alone: no tag, but the tag in another letter case (counted as no_tag)
};

// The counts of the summary.
struct Tally {
  std::size_t listed = 0;
  std::size_t upgraded = 0;  // in a dry run: would have been
  std::size_t no_tag = 0;
  std::size_t skipped = 0;
  std::size_t removed = 0;
  std::size_t without_text = 0;
  std::size_t replaced = 0;
  std::size_t other_case = 0;  // of the no_tag pages, those holding the tag in another case

  std::size_t done() const {
    return upgraded + no_tag + skipped + removed + without_text + replaced;
  }
};

// Whether a progress line may be drawn on the error stream (only worth it on a terminal).
enum class ProgressDisplay { off, on };

// Everything a run tells its user: the per-page lines and the summary on the output stream;
// errors, and a progress line redrawn in place once the run has lasted a second, on the error
// stream. The per-page lines are those of --verbose, or in a dry run the pages that would receive
// the text; --quiet leaves only the errors. Names and messages are printed through `printable`.
// When the output stream cannot be written (a closed pipe, a full disk), the report remembers why,
// writes nothing more there, and gives the summary on the error stream instead.
class Report {
 public:
  using Clock = std::chrono::steady_clock;

  Report(std::FILE* out, std::FILE* err, Verbosity verbosity, WriteMode mode,
         ProgressDisplay progress, Clock::time_point start);

  void set_listed(std::size_t listed) { tally_.listed = listed; }
  // What the run does to the pages, which words the lines and the summary (insertion by default).
  void set_operation(Operation operation) { operation_ = operation; }
  // From now on, sends the per-page lines and the summary to the error stream, and the diffs
  // given to `diff` to `diff_stream`; the pages that would change are then not listed in a dry
  // run, since their diffs name them.
  void set_diff_stream(std::FILE* diff_stream);
  // Records a page the run has finished with; `now` paces the progress line. With
  // Outcome::other_case, `spelling` is how the page writes the tag.
  void page(std::string_view path, Outcome outcome, Clock::time_point now,
            std::string_view spelling = {});
  // Lines said after the summary: what the file systems written to could not keep.
  void set_notes(std::vector<std::string> notes) { notes_ = std::move(notes); }
  // Writes the diff of a page to the diff stream, as it is.
  void diff(std::string_view text);
  // Writes "<program name>: <message>" on the error stream.
  void error(std::string_view message);
  // Clears the progress line and writes the summary; on the error stream, after saying why, when
  // the output stream cannot be written.
  void finish();

  const Tally& tally() const { return tally_; }
  // Why the output stream could not be written, or none while it can.
  const std::optional<std::string>& output_error() const { return output_error_; }

 private:
  void line(std::string_view label, std::string_view path);
  void flush_output(std::FILE* stream);
  std::string other_case_hint() const;
  void draw_progress();
  void clear_progress();

  std::FILE* out_;
  std::FILE* err_;
  std::FILE* diff_ = nullptr;
  Verbosity verbosity_;
  WriteMode mode_;
  Operation operation_ = Operation::insert;
  ProgressDisplay progress_;
  Clock::time_point next_draw_;
  std::size_t drawn_width_ = 0;  // width of the progress line on screen, 0 when none
  Tally tally_;
  std::vector<std::pair<std::string, std::size_t>> spellings_;  // of the tag, with their pages
  std::optional<std::string> output_error_;
  std::vector<std::string> notes_;
};

}  // namespace qv::cli
