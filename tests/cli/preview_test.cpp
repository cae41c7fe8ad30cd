// What a person sees before a run: the diffs of --diff, which `patch` turns into exactly the
// pages the run writes, and the pages that hold the tag only in another letter case.
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "cli/unified_diff.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

#ifndef _WIN32  // the diffs are applied with the system's patch program
std::map<std::string, std::string> pages_of(const TempFolder& dir, const std::string& folder) {
  std::map<std::string, std::string> all;
  for (const auto& entry : fs::directory_iterator(dir / folder)) {
    const std::string name = entry.path().filename().string();
    all[name] = dir.read(folder + "/" + name);
  }
  return all;
}

TEST(CliPreview, diffAppliedByPatchGivesTheBytesOfTheRealRun) {
  if (!fs::exists("/usr/bin/patch")) GTEST_SKIP() << "no /usr/bin/patch";
  TempFolder dir;
  dir.write("v1.txt", "<script>var quorvaneSite = 1;</script>");
  dir.write("v2.txt", "<script>\nvar quorvaneSite = 2;\r\n</script>\r\n");
  fs::create_directories(dir / "site");
  dir.write("site/crlf.html", "<html>\r\n<body>\r\n<p>a</p>\r\n<p>b</p>\r\n</body>\r\n</html>\r\n");
  dir.write("site/latin1 page.htm",
            std::string("<p>\xe9t\xe9</p>\n\0\x1b[31m\r\n</body>\n</html>", 30));
  dir.write("site/one line.html", "<html><body>x</body></html>");
  dir.write("site/none.html", "<p>no tag\n");

  // Each diff is taken before its run, applied to a copy, and must give the run's own bytes.
  const std::vector<Args> runs = {{"v1.txt", "site"},
                                  {"--replace", "v1.txt", "v2.txt", "site"},
                                  {"--remove", "v2.txt", "site"}};
  for (const Args& run : runs) {
    const auto before = pages_of(dir, "site");
    Args preview = {"--dry-run", "--diff"};
    preview.insert(preview.end(), run.begin(), run.end());
    const ProgramOutput diff = run_program(QV_CLI_PATH, preview, dir.path());
    ASSERT_EQ(diff.exit_code, 0) << diff.err;
    ASSERT_EQ(pages_of(dir, "site"), before) << "a dry run wrote";
    dir.write("change.patch", diff.out);
    fs::remove_all(dir / "copy");
    fs::create_directories(dir / "copy");
    fs::copy(dir / "site", dir / "copy/site");
    const ProgramOutput patched = run_program(
        "/usr/bin/patch", {"-p1", "-s", "-d", "copy", "-i", "../change.patch"}, dir.path());
    ASSERT_EQ(patched.exit_code, 0) << patched.out << patched.err << diff.out;
    ASSERT_EQ(run_program(QV_CLI_PATH, run, dir.path()).exit_code, 0);
    EXPECT_EQ(pages_of(dir, "copy/site"), pages_of(dir, "site")) << diff.out;
  }
}
#endif

TEST(CliPreview, diffOnATerminalShowsControlBytesEscaped) {
  const std::string before = "a\r\n\x1b]0;x\x07\t\xc2\x9b\r\n</body>";
  const std::string after = "a\r\n\x1b]0;x\x07\t\xc2\x9b\r\nNEW\r\n</body>";
  EXPECT_EQ(cli::unified_diff("s/p q.html", before, after, cli::DiffBytes::escaped, 1),
            "--- \"a/s/p q.html\"\n+++ \"b/s/p q.html\"\n@@ -2,2 +2,3 @@\n"
            " \\x1B]0;x\\x07\t\\xC2\\x9B\r\n"
            "+NEW\r\n"
            " </body>\n\\ No newline at end of file\n");
}

TEST(CliPreview, tagInAnotherLetterCaseIsCountedNamedAndLeftAlone) {
  TempFolder dir;
  dir.write("t.txt", "<script>var quorvaneSite = 1;</script>");
  fs::create_directories(dir / "site");
  dir.write("site/a.html", "<BODY></BODY>");
  dir.write("site/b.html", "</BODY></Body>");
  dir.write("site/c.html", "<body></body>");
  dir.write("site/d.html", "</BODY>");

  const ProgramOutput r = run_program(QV_CLI_PATH, {"-v", "t.txt", "site"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "no tag (only '</BODY>'): site/a.html\n"
            "no tag (only '</Body>'): site/b.html\n"
            "upgraded: site/c.html\n"
            "no tag (only '</BODY>'): site/d.html\n"
            "4 pages listed: 1 upgraded, 3 without the tag, 0 skipped; 3 of them hold the tag in "
            "another letter case: --tag '</BODY>' reaches 2, --tag '</Body>' 1\n");
  EXPECT_EQ(dir.read("site/b.html"), "</BODY></Body>");
}

}  // namespace
}  // namespace qv::testing
