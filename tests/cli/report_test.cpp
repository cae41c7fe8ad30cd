// The progress line: absent from short runs, redrawn in place on longer ones, and always wiped
// before the summary or an error, so that nothing of it stays on the terminal.
#include "cli/report.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace qv::cli {
namespace {

using namespace std::chrono_literals;
using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

std::string contents(std::FILE* file) {
  std::fflush(file);
  std::string text;
  std::rewind(file);
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, got);
  return text;
}

struct Streams {
  File out{std::tmpfile(), &std::fclose};
  File err{std::tmpfile(), &std::fclose};
  Report::Clock::time_point start = Report::Clock::now();

  Report report(ProgressDisplay progress) {
    Report r(out.get(), err.get(), Verbosity::normal, WriteMode::write, progress, start);
    r.set_listed(3);
    return r;
  }
};

TEST(CliProgressLine, aRunShorterThanASecondShowsNone) {
  Streams s;
  Report report = s.report(ProgressDisplay::on);
  report.page("a", Outcome::upgraded, s.start + 900ms);
  report.finish();
  EXPECT_EQ(contents(s.err.get()), "");
  EXPECT_EQ(contents(s.out.get()), "3 pages listed: 1 upgraded, 0 without the tag, 0 skipped\n");
}

TEST(CliProgressLine, isRedrawnInPlaceThenWipedBeforeTheSummary) {
  Streams s;
  Report report = s.report(ProgressDisplay::on);
  report.page("a", Outcome::upgraded, s.start + 1100ms);
  report.page("b", Outcome::no_tag, s.start + 1150ms);  // too soon to redraw
  report.page("c", Outcome::skipped, s.start + 1300ms);
  report.finish();
  const std::string first = "\rquorvane-insert-cli: 1 of 3 pages done";
  const std::string last = "\rquorvane-insert-cli: 3 of 3 pages done";
  const std::string wipe = "\r" + std::string(last.size() - 1, ' ') + "\r";
  EXPECT_EQ(contents(s.err.get()), first + last + wipe);
}

TEST(CliProgressLine, isWipedBeforeAnErrorAndNeverDrawnWhenOff) {
  Streams s;
  Report report = s.report(ProgressDisplay::on);
  report.page("a", Outcome::upgraded, s.start + 2s);
  report.error("cannot write 'b': Permission denied");
  const std::string drawn = "\rquorvane-insert-cli: 1 of 3 pages done";
  EXPECT_EQ(contents(s.err.get()), drawn + "\r" + std::string(drawn.size() - 1, ' ') +
                                       "\rquorvane-insert-cli: cannot write 'b': Permission "
                                       "denied\n");

  Streams off;
  Report silent = off.report(ProgressDisplay::off);
  silent.page("a", Outcome::upgraded, off.start + 5s);
  silent.finish();
  EXPECT_EQ(contents(off.err.get()), "");
}

}  // namespace
}  // namespace qv::cli
