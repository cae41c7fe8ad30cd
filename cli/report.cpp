#include "cli/report.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "batch/report_words.h"
#include "text/printable.h"

namespace qv::cli {
namespace {

using namespace std::chrono_literals;

constexpr auto kQuietStart = 1s;  // runs shorter than this never show progress
constexpr auto kRedrawInterval = 100ms;

// The word of a per-page line.
std::string_view label(Outcome outcome, Operation operation, bool dry_run) {
  switch (outcome) {
    case Outcome::upgraded:
      if (operation == Operation::replace) return dry_run ? "would insert" : "inserted";
      return dry_run ? "would upgrade" : "upgraded";
    case Outcome::removed:
      return dry_run ? "would remove" : "removed";
    case Outcome::replaced:
      return dry_run ? "would replace" : "replaced";
    case Outcome::no_tag:
    case Outcome::other_case:
      return "no tag";
    case Outcome::skipped:
      return "skipped";
    case Outcome::without_text:
      return "without the text";
  }
  return {};
}

// `text` as one shell word: in single quotes, each quote in it closed, escaped and reopened.
std::string shell_quoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

void put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

Report::Report(std::FILE* out, std::FILE* err, Verbosity verbosity, WriteMode mode,
               ProgressDisplay progress, Clock::time_point start)
    : out_(out),
      err_(err),
      verbosity_(verbosity),
      mode_(mode),
      progress_(progress),
      next_draw_(start + kQuietStart) {}

void Report::set_diff_stream(std::FILE* diff_stream) {
  diff_ = diff_stream;
  out_ = err_;
}

void Report::page(std::string_view path, Outcome outcome, Clock::time_point now,
                  std::string_view spelling) {
  const bool dry_run = mode_ == WriteMode::dry_run;
  const bool verbose = verbosity_ == Verbosity::verbose;
  // A page that changes is listed in a dry run too; one left alone only with --verbose.
  bool changes = false;
  switch (outcome) {
    case Outcome::upgraded:
      ++tally_.upgraded;
      changes = true;
      break;
    case Outcome::removed:
      ++tally_.removed;
      changes = true;
      break;
    case Outcome::replaced:
      ++tally_.replaced;
      changes = true;
      break;
    case Outcome::no_tag:
      ++tally_.no_tag;
      break;
    case Outcome::other_case: {
      ++tally_.no_tag;
      ++tally_.other_case;
      auto known = std::find_if(spellings_.begin(), spellings_.end(),
                                [&](const auto& entry) { return entry.first == spelling; });
      if (known == spellings_.end()) known = spellings_.emplace(spellings_.end(), spelling, 0);
      ++known->second;
      break;
    }
    case Outcome::skipped:
      ++tally_.skipped;
      break;
    case Outcome::without_text:
      ++tally_.without_text;
      break;
  }
  const bool listed = changes && dry_run && verbosity_ == Verbosity::normal && diff_ == nullptr;
  if (outcome == Outcome::other_case && verbose)
    line(printable("no tag (only " + shell_quoted(spelling) + ")"), path);
  else if (verbose || listed)
    line(label(outcome, operation_, dry_run), path);
  if (progress_ == ProgressDisplay::on && now >= next_draw_) {
    next_draw_ = now + kRedrawInterval;
    draw_progress();
  }
}

void Report::diff(std::string_view text) {
  if (output_error_ || diff_ == nullptr) return;
  put(diff_, text);
  flush_output(diff_);
}

void Report::error(std::string_view message) {
  clear_progress();
  std::fflush(out_);
  put(err_, kProgramName);
  put(err_, ": ");
  put(err_, printable(message));
  put(err_, "\n");
  std::fflush(err_);
}

void Report::finish() {
  clear_progress();
  if (verbosity_ == Verbosity::quiet) return;
  const Tally& t = tally_;
  const bool dry_run = mode_ == WriteMode::dry_run;
  auto changed = [dry_run](std::size_t count, std::string_view done) {
    return std::to_string(count) + (dry_run ? " would be " : " ") + std::string(done) + ", ";
  };
  const std::string left_alone =
      std::to_string(t.no_tag) + " without the tag, " + std::to_string(t.skipped) + " skipped";
  std::string summary = page_count(t.listed, NoPage::as_number) + " listed: ";
  switch (operation_) {
    case Operation::insert:
      summary += changed(t.upgraded, "upgraded") + left_alone;
      break;
    case Operation::remove:
      summary +=
          changed(t.removed, "removed") + std::to_string(t.without_text) + " without the text";
      // Only a file reached twice (a link, a path given twice) is skipped here.
      if (t.skipped != 0) summary += ", " + std::to_string(t.skipped) + " skipped";
      break;
    case Operation::replace:
      summary += changed(t.replaced, "replaced") + changed(t.upgraded, "inserted") + left_alone;
      break;
  }
  summary += other_case_hint();
  if (mode_ == WriteMode::dry_run) summary += " (dry run: nothing written)";
  summary += '\n';
  for (const std::string& note : notes_) summary += printable(note) + '\n';
  if (!output_error_) {
    put(out_, summary);
    flush_output(out_);
    if (output_error_) error("cannot write the output: " + *output_error_);
  }
  if (output_error_) put(err_, summary);
}

void Report::line(std::string_view label, std::string_view path) {
  if (output_error_) return;
  put(out_, label);
  put(out_, ": ");
  put(out_, printable(path));
  put(out_, "\n");
  // Line by line, so that a closed or full output is noticed at the page that meets it.
  flush_output(out_);
}

void Report::flush_output(std::FILE* stream) {
  errno = 0;
  if (std::fflush(stream) == 0 && !std::ferror(stream)) return;
  output_error_ = errno != 0 ? std::strerror(errno) : "write error";
}

std::string Report::other_case_hint() const {
  if (tally_.other_case == 0) return {};
  std::vector<std::pair<std::string, std::size_t>> by_count = spellings_;
  std::stable_sort(by_count.begin(), by_count.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string hint = "; " + std::to_string(tally_.other_case) +
                     (tally_.other_case == 1 ? " of them holds" : " of them hold") +
                     " the tag in another letter case: --tag " +
                     printable(shell_quoted(by_count.front().first)) + " reaches ";
  if (by_count.size() == 1) return hint + (tally_.other_case == 1 ? "it" : "them");
  hint += std::to_string(by_count.front().second);
  constexpr std::size_t kShown = 3;
  for (std::size_t i = 1; i < std::min(by_count.size(), kShown); ++i)
    hint += ", --tag " + printable(shell_quoted(by_count[i].first)) + " " +
            std::to_string(by_count[i].second);
  if (by_count.size() > kShown) hint += ", other spellings the rest";
  return hint;
}

void Report::draw_progress() {
  const std::size_t done = tally_.done();
  std::string text = "\r" + std::string(kProgramName) + ": " + std::to_string(done) + " of " +
                     page_count(tally_.listed, NoPage::as_number) + " done";
  const std::size_t width = text.size() - 1;
  if (width < drawn_width_) text.append(drawn_width_ - width, ' ');
  drawn_width_ = std::max(width, drawn_width_);
  put(err_, text);
  std::fflush(err_);
}

void Report::clear_progress() {
  if (drawn_width_ == 0) return;
  put(err_, "\r" + std::string(drawn_width_, ' ') + "\r");
  std::fflush(err_);
  drawn_width_ = 0;
}

}  // namespace qv::cli
