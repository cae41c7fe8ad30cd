// Runs of the built command line cut short from outside: a signal while a page is in hand (sent
// at that exact point through the paused build of the program), and an output that cannot be
// written. Each run finishes the page in hand, leaves every page wholly old or wholly new with no
// temporary file, says what it did and exits with a status that tells the caller it was stopped.
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include <sys/wait.h>

#include "system/file_io.h"
#include "tests/support/page_assertions.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "text/temporary_name.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

const std::string kPage = "<p></p></body>";
const std::string kUpgraded = "<p></p>\r\n" + kSnippet + "\r\n</body>";

class Interruption : public ::testing::Test {
 protected:
  TempFolder dir;

  void SetUp() override {
    dir.write("snippet.txt", kSnippet);
    fs::create_directory(dir / "site");
    for (int i = 1; i <= 4; ++i) dir.write("site/p" + std::to_string(i) + ".html", kPage);
  }

  // How many of the pages, in list order, hold the text; fails unless they come first and every
  // page is wholly old or wholly new, and, unless allowed, when a temporary file is left.
  enum class Leftovers { none, allowed };
  int pages_upgraded(Leftovers leftovers = Leftovers::none) {
    int upgraded = 0;
    for (int i = 1; i <= 4; ++i) {
      const std::string content = dir.read("site/p" + std::to_string(i) + ".html");
      if (content == kUpgraded && upgraded == i - 1)
        ++upgraded;
      else
        EXPECT_EQ(content, kPage) << "page " << i;
    }
    if (leftovers == Leftovers::none) {
      EXPECT_TRUE(no_leftovers(dir / "site"));
    }
    return upgraded;
  }

  // Runs the program paused at page 2, sends it `signals`, and lets it go on.
  ProgramOutput run_signalled(std::initializer_list<int> signals) {
    return run_program(QV_PAUSED_CLI_PATH, {"2", "snippet.txt", "site"}, dir.path(),
                       Output::captured, [signals](int pid) {
                         int status = 0;
                         if (::waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status))
                           return;
                         for (int signal : signals) ::kill(pid, signal);
                         ::kill(pid, SIGCONT);
                       });
  }
};

TEST_F(Interruption, aSignalStopsTheRunAfterThePageInHandWithTheSummaryAndItsStatus) {
  for (auto [signal, name] :
       {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
    SetUp();  // the pages as they were
    const ProgramOutput r = run_signalled({signal});
    EXPECT_EQ(r.exit_code, 128 + signal) << name << r.err;
    EXPECT_EQ(pages_upgraded(), 2) << name;
    EXPECT_EQ(r.out, "4 pages listed: 2 upgraded, 0 without the tag, 0 skipped\n") << name;
    EXPECT_EQ(r.err, "quorvane-insert-cli: stopped by " + std::string(name) +
                         "\nquorvane-insert-cli: the run stopped after page 2 of 4: 2 pages up "
                         "to it received the text; the ones after it are unchanged\n");
  }
}

TEST_F(Interruption, aSecondSignalEndsTheProgramAtOnce) {
  const ProgramOutput r = run_signalled({SIGINT, SIGTERM});
  EXPECT_NE(r.signal, 0) << r.exit_code;
  EXPECT_EQ(r.out, "");
  // As after a kill: the page before the one in hand may not have been renamed yet.
  EXPECT_LE(pages_upgraded(Leftovers::allowed), 1);
}

TEST_F(Interruption, anOutputThatCannotBeWrittenStopsTheRunAndTheErrorStreamSaysWhatWasDone) {
  const ProgramOutput closed =
      run_program(QV_CLI_PATH, {"-v", "snippet.txt", "site"}, dir.path(), Output::closed_pipe);
  EXPECT_EQ(closed.signal, 0);
  EXPECT_EQ(closed.exit_code, 1);
  EXPECT_EQ(pages_upgraded(), 1);
  EXPECT_EQ(closed.err,
            "quorvane-insert-cli: cannot write the output: Broken pipe\n"
            "quorvane-insert-cli: the run stopped after page 1 of 4: 1 page up to it received "
            "the text; the ones after it are unchanged\n"
            "4 pages listed: 1 upgraded, 0 without the tag, 0 skipped\n");

  // A full output that only the summary reaches: the run is complete, the exit still says so.
  SetUp();
  const ProgramOutput full =
      run_program(QV_CLI_PATH, {"snippet.txt", "site"}, dir.path(), Output::full_device);
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_EQ(full.err,
            "quorvane-insert-cli: cannot write the output: No space left on device\n"
            "4 pages listed: 4 upgraded, 0 without the tag, 0 skipped\n");
  EXPECT_EQ(pages_upgraded(), 4);

  const ProgramOutput dry = run_program(QV_CLI_PATH, {"--dry-run", "snippet.txt", "site"},
                                        dir.path(), Output::full_device);
  EXPECT_EQ(dry.exit_code, 1);
  EXPECT_NE(dry.err.find("after page 1 of 4: nothing has been written"), std::string::npos)
      << dry.err;
}

}  // namespace
}  // namespace qv::testing
