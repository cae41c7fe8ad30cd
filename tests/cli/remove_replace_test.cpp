// Taking a snippet out and swapping it for another with the built program: every run is undone
// by its own text, byte for byte, over the benchmark corpus; and the settings a run would use.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const std::string kOld = "<script>var quorvaneSite = \"v1\";</script>";
const std::string kNew = "<script>var quorvaneSite = \"v2\";</script>\r\n";

class CliRemoveReplace : public ::testing::Test {
 protected:
  TempFolder dir;

  void SetUp() override {
    dir.write("old.txt", kOld);
    dir.write("new.txt", kNew);
    fs::create_directory(dir / "s");
  }
  ProgramOutput run(const Args& arguments) {
    return run_program(QV_CLI_PATH, arguments, dir.path());
  }
  std::map<std::string, std::string> pages(const std::string& folder) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::directory_iterator(dir / folder))
      all[entry.path().filename().string()] =
          dir.read(folder + "/" + entry.path().filename().string());
    return all;
  }
};

#ifndef _WIN32  // the corpus comes from a Python script
TEST_F(CliRemoveReplace, insertReplaceThenRemoveGivesBackEveryCorpusPageByteForByte) {
  const std::string generate =
      "python3 '" + std::string(QV_CORPUS_SCRIPT) + "' '" + dir.path() + "' w:80:3000 > /dev/null";
  ASSERT_EQ(std::system(generate.c_str()), 0);
  const auto before = pages("w");
  ASSERT_EQ(before.size(), 80u);

  ProgramOutput inserted = run({"old.txt", "w"});
  ASSERT_EQ(inserted.exit_code, 0) << inserted.err;
  const auto with_old = pages("w");
  std::size_t changed = 0;
  for (const auto& [name, bytes] : with_old) changed += bytes != before.at(name);
  ASSERT_GT(changed, 60u);
  ASSERT_LT(changed, 80u);  // a few corpus pages have no tag, only "</BODY>"
  const std::string left = std::to_string(80 - changed) + " without the tag, 0 skipped; " +
                           std::to_string(80 - changed) +
                           " of them hold the tag in another letter case: --tag '</BODY>' "
                           "reaches them\n";
  EXPECT_EQ(inserted.out, "80 pages listed: " + std::to_string(changed) + " upgraded, " + left);

  ProgramOutput replaced = run({"--replace", "old.txt", "new.txt", "w"});
  ASSERT_EQ(replaced.exit_code, 0) << replaced.err;
  EXPECT_EQ(replaced.out,
            "80 pages listed: " + std::to_string(changed) + " replaced, 0 inserted, " + left);

  EXPECT_EQ(run({"--dry-run", "-q", "--remove", "new.txt", "w"}).exit_code, 0);
  ProgramOutput removed = run({"--remove", "new.txt", "w"});
  ASSERT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, "80 pages listed: " + std::to_string(changed) + " removed, " +
                             std::to_string(80 - changed) + " without the text\n");
  const auto after = pages("w");
  for (const auto& [name, bytes] : before) EXPECT_TRUE(after.at(name) == bytes) << name;
}
#endif

TEST_F(CliRemoveReplace, onlyTheTextWhereAnInsertionPutItCounts) {
  const std::string framed = "a\r\n" + kOld + "\r\n</body>";
  dir.write("s/1-framed.html", framed);
  dir.write("s/2-moved.html", framed + "</body>");  // no longer before the last tag
  dir.write("s/3-holds-new.html", "b" + kNew + "</body>");
  dir.write("s/4-plain.html", "c</body>");
  dir.write("s/5-no-tag.html", "d");

  ProgramOutput replaced = run({"-v", "--replace", "old.txt", "new.txt", "s"});
  EXPECT_EQ(replaced.exit_code, 0) << replaced.err;
  EXPECT_EQ(replaced.out,
            "replaced: s/1-framed.html\ninserted: s/2-moved.html\nskipped: s/3-holds-new.html\n"
            "inserted: s/4-plain.html\nno tag: s/5-no-tag.html\n"
            "5 pages listed: 1 replaced, 2 inserted, 1 without the tag, 1 skipped\n");
  EXPECT_EQ(dir.read("s/1-framed.html"), "a\r\n" + kNew + "\r\n</body>");
  EXPECT_EQ(dir.read("s/4-plain.html"), "c\r\n" + kNew + "\r\n</body>");

  // Taking out a text that lacks the marker needs no --no-verify; a page without it stays.
  dir.write("plain.txt", "x");
  dir.write("s/6.html", "e\r\nx\r\n</body>");
  ProgramOutput removed = run({"--verify", "--remove", "plain.txt", "s/6.html", "s/5-no-tag.html"});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, "2 pages listed: 1 removed, 1 without the text\n");
  EXPECT_EQ(dir.read("s/6.html"), "e</body>");
  // The marker check applies to the text going in.
  EXPECT_EQ(run({"--verify", "--replace", "old.txt", "plain.txt", "s"}).exit_code, 3);
  // An empty text is contained nowhere: --skip-present does not skip on its account.
  dir.write("empty.txt", "");
  ProgramOutput empty = run({"--no-verify", "--skip-present", "empty.txt", "s/4-plain.html"});
  EXPECT_EQ(empty.out, "1 page listed: 1 upgraded, 0 without the tag, 0 skipped\n");
}

TEST_F(CliRemoveReplace, aFailureSaysHowManyPagesBeforeItWereChanged) {
  dir.write("s/a.html", "a\r\n" + kOld + "\r\n</body>");
  dir.write("s/b.html", "b</body>");
  fs::permissions(dir.write("s/c.html", "c\r\n" + kOld + "\r\n</body>"), fs::perms::owner_read);
  ProgramOutput r = run({"--remove", "old.txt", "s"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("the run stopped at page 3 of 3: 1 page before it had the text taken "
                       "out; this page and the ones after it are unchanged\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "3 pages listed: 1 removed, 1 without the text\n");
}

TEST_F(CliRemoveReplace, showSettingsTellsWhereTheValuesComeFromAndWhichLinesAreIgnored) {
  const std::string program = dir / "bin/quorvane-insert-cli";
  fs::create_directory(dir / "bin");
  fs::copy_file(QV_CLI_PATH, program);
  ProgramOutput none = run_program(program, {"--show-settings"}, dir.path());
  EXPECT_EQ(none.exit_code, 0);
  EXPECT_EQ(none.out, "settings file: " + dir / "bin/quorvane.ini" +
                          "\nnot found; the defaults apply\n"
                          "marker check (verification): on (default)\n"
                          "tag (balise): \"</body>\" (default)\n");

  dir.write("bin/quorvane.ini",
            "balise=</p>\n[parametres]\nbalise = </html>\nverification\nBALISE=</main>\n");
  ProgramOutput read = run_program(program, {"--show-settings", "--no-verify"}, dir.path());
  EXPECT_EQ(read.exit_code, 0);
  EXPECT_EQ(read.out, "settings file: " + dir / "bin/quorvane.ini" +
                          "\nread\n"
                          "marker check (verification): off (from --no-verify)\n"
                          "tag (balise): \"</html>\" (from the settings file)\n"
                          "line 1 ignored: before any [section]\n"
                          "line 4 ignored: no '=' (it gives no value, and hides a later line of "
                          "the same key)\n"
                          "line 5 ignored: duplicated key (line 3 is the one read)\n");
}

}  // namespace
}  // namespace qv::testing
