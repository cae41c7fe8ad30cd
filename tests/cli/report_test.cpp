// The progress line: absent from short runs, redrawn in place at most every tenth of a second on
// longer ones, and wiped before the summary so that nothing of it stays on the terminal.
#include "cli/report.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace qv::cli {
namespace {

using namespace std::chrono_literals;

std::string contents(std::FILE* file) {
  std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

TEST(CliProgressLine, appearsAfterASecondAndIsWipedBeforeTheSummary) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const auto start = Report::Clock::now();
  Report report(out, err, Verbosity::normal, WriteMode::write, ProgressDisplay::on, start);
  report.set_listed(4);
  report.page("a", Outcome::upgraded, start + 900ms);  // too early
  report.page("b", Outcome::upgraded, start + 1100ms);
  report.page("c", Outcome::no_tag, start + 1150ms);  // too soon after the last drawing
  report.page("d", Outcome::skipped, start + 1300ms);
  report.finish();

  const std::string line = "quorvane-insert-cli: 4 of 4 pages done";
  EXPECT_EQ(contents(err), "\rquorvane-insert-cli: 2 of 4 pages done\r" + line + "\r" +
                               std::string(line.size(), ' ') + "\r");
  EXPECT_EQ(contents(out), "4 pages listed: 2 upgraded, 1 without the tag, 1 skipped\n");
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
}  // namespace qv::cli
