// The built program run on real folders: which pages it rewrites and how, what it prints, how it
// exits, and what it leaves alone when it must stop.
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/page_assertions.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

std::string summary(int listed, int upgraded, int no_tag, int skipped) {
  return std::to_string(listed) + " pages listed: " + std::to_string(upgraded) + " upgraded, " +
         std::to_string(no_tag) + " without the tag, " + std::to_string(skipped) + " skipped\n";
}

// A fresh folder holding "snippet.txt"; the program runs inside it, so paths are relative.
class CliCommand : public ::testing::Test {
 protected:
  TempFolder dir;
  std::string program = QV_CLI_PATH;

  void SetUp() override { dir.write("snippet.txt", kSnippet); }
  ProgramOutput run(const Args& arguments) { return run_program(program, arguments, dir.path()); }
  std::string page(const std::string& name, std::string_view content) {
    fs::create_directories(fs::path(dir / name).parent_path());
    return dir.write(name, content);
  }
};

TEST_F(CliCommand, folderAndSinglePagesInOneCall) {
  const std::string binary("<p>\0\xff\r\r</body>mid", 16);
  page("site/b.HTML", binary + "</body>\n");
  page("site/A.htm", "<html></body>");
  page("site/none.html", "<p>no closing tag");
  for (const char* untouched : {"site/notes.txt", "site/.hidden.html", "site/sub/deep.html"})
    page(untouched, "</body>");
  page("single.html", "x</body>");

  ProgramOutput r = run({"-v", "snippet.txt", "site", "single.html"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "upgraded: site/A.htm\nupgraded: site/b.HTML\nno tag: site/none.html\n"
            "upgraded: single.html\n" +
                summary(4, 3, 1, 0));
  EXPECT_EQ(dir.read("site/b.HTML"), with_snippet(binary, "</body>\n"));
  EXPECT_EQ(dir.read("site/A.htm"), with_snippet("<html>", "</body>"));
  EXPECT_EQ(dir.read("single.html"), with_snippet("x", "</body>"));
  EXPECT_EQ(dir.read("site/none.html"), "<p>no closing tag");
  for (const char* untouched : {"site/notes.txt", "site/.hidden.html", "site/sub/deep.html"})
    EXPECT_EQ(dir.read(untouched), "</body>");
}

TEST_F(CliCommand, dryRunWritesNothingAndSkipPresentMakesASecondRunANoOp) {
  const std::string a = page("site/a.html", "A</body>");
  page("site/b.html", "B");
  // Whole seconds, which every file system keeps exactly.
  const auto old_time = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now() -
                                                                 std::chrono::hours(24));
  fs::last_write_time(a, old_time);

  ProgramOutput dry = run({"--dry-run", "snippet.txt", "site"});
  EXPECT_EQ(dry.exit_code, 0);
  EXPECT_EQ(dry.out,
            "would upgrade: site/a.html\n2 pages listed: 1 would be upgraded, 1 without "
            "the tag, 0 skipped (dry run: nothing written)\n");
  EXPECT_EQ(dir.read("site/a.html"), "A</body>");
  EXPECT_EQ(fs::last_write_time(a), old_time);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "site"), fs::directory_iterator()), 2);

  ASSERT_EQ(run({"--skip-present", "snippet.txt", "site"}).exit_code, 0);
  ProgramOutput again = run({"--skip-present", "-v", "snippet.txt", "site/a.html"});
  EXPECT_EQ(again.out,
            "skipped: site/a.html\n1 page listed: 0 upgraded, 0 without the tag, 1 "
            "skipped\n");
  EXPECT_EQ(dir.read("site/a.html"), with_snippet("A", "</body>"));
  ASSERT_EQ(run({"-q", "snippet.txt", "site"}).exit_code, 0);  // without it, the text goes in again
  EXPECT_EQ(dir.read("site/a.html"), with_snippet(with_snippet("A", ""), "</body>"));
}

TEST_F(CliCommand, textWithoutTheMarkerTouchesNoPageUnlessTheCheckIsOff) {
  dir.write("plain.txt", "<script>var otherSite = 1;</script>");
  page("site/a.html", "A</body>");
  ProgramOutput r = run({"plain.txt", "site"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_TRUE(
      r.err.starts_with("quorvane-insert-cli: the text in 'plain.txt' does not contain "
                        "\"var quorvaneSite =\""))
      << r.err;
  EXPECT_EQ(dir.read("site/a.html"), "A</body>");
  EXPECT_EQ(run({"--no-verify", "plain.txt", "site"}).exit_code, 0);
  EXPECT_EQ(dir.read("site/a.html"), "A\r\n<script>var otherSite = 1;</script>\r\n</body>");
}

TEST_F(CliCommand, pageThatCannotBeWrittenStopsTheRun) {
  page("site/a.html", "A</body>");
  fs::permissions(page("site/b.html", "B</body>"), fs::perms::owner_read);
  page("site/c.html", "C</body>");
  ProgramOutput r = run({"snippet.txt", "site"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "quorvane-insert-cli: cannot write 'site/b.html': " + access_denied_reason() +
                       "\n"
                       "quorvane-insert-cli: the run stopped at page 2 of 3: 1 page before it "
                       "received the text; this page and the ones after it are unchanged\n");
  EXPECT_EQ(r.out, summary(3, 1, 0, 0));
  EXPECT_EQ(dir.read("site/a.html"), with_snippet("A", "</body>"));
  EXPECT_EQ(dir.read("site/b.html"), "B</body>");
  EXPECT_EQ(dir.read("site/c.html"), "C</body>");
}

TEST_F(CliCommand, refusalsComeBeforeAnyPageIsTouched) {
  page("a.html", "A</body>");
  ProgramOutput missing = run({"snippet.txt", "a.html", "gone.html"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "quorvane-insert-cli: cannot open 'gone.html': " + missing_file_reason() +
                             "; no page has been changed\n");
  EXPECT_EQ(run({"gone.txt", "a.html"}).exit_code, 1);
  for (const Args& bad : {Args{"--frobnicate", "snippet.txt", "a.html"}, Args{"snippet.txt"},
                          Args{"--tag", "", "snippet.txt", "a.html"}}) {
    ProgramOutput r = run(bad);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(r.err.starts_with("quorvane-insert-cli: ")) << r.err;
    EXPECT_NE(r.err.find("\nUsage: quorvane-insert-cli [options] TEXT_FILE PATH...\n"),
              std::string::npos);
  }
  EXPECT_EQ(dir.read("a.html"), "A</body>");
  EXPECT_EQ(run({"--version"}).out, "quorvane-insert-cli 1.0.0\n");
}

TEST_F(CliCommand, namesAreBytesAndADashedNameFollowsDoubleDash) {
  Args names = {"a b.html", "-x.html", "caf\xc3\xa9.html"};
#ifndef _WIN32
  names.push_back("\xe9t\xe9.html");  // not UTF-8: a name Windows cannot hold
#endif
  for (const std::string& name : names) page(name, name + "</body>");
  EXPECT_EQ(run({"snippet.txt", "-x.html"}).exit_code, 2);
  EXPECT_EQ(dir.read("-x.html"), "-x.html</body>");

  Args arguments = {"-v", "snippet.txt", "--"};
  arguments.insert(arguments.end(), names.begin(), names.end());
  ProgramOutput r = run(arguments);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const std::string& name : names) {
    EXPECT_EQ(dir.read(name), with_snippet(name, "</body>")) << name;
    EXPECT_NE(r.out.find("upgraded: " + name + "\n"), std::string::npos) << name;
  }
}

#ifndef _WIN32  // Windows names hold no control characters
TEST_F(CliCommand, controlCharactersInNamesAreEscapedWhereverTheyArePrinted) {
  const std::string name =
      "\x1b]0;owned\x07\xc2\x9b"
      "2J\n\x7f\xc3\xa9.html";
  page(name, "</body>");
  ProgramOutput r = run({"-v", "snippet.txt", name});
  EXPECT_EQ(r.out,
            "upgraded: \\x1B]0;owned\\x07\\xC2\\x9B2J\\x0A\\x7F\xc3\xa9.html\n"
            "1 page listed: 1 upgraded, 0 without the tag, 0 skipped\n");
  EXPECT_EQ(run({"t\x1b[31m.txt", name}).err,
            "quorvane-insert-cli: cannot read the text file 't\\x1B[31m.txt': No such file or "
            "directory; no page has been changed\n");
}
#endif

// Many names in one folder are told apart from its listing: a link, a folder and a missing name
// among them are still what they are.
TEST_F(CliCommand, manyNamesInOneFolderMixedWithALinkAFolderAndAMissingName) {
  Args args{"snippet.txt"};
  for (int i = 0; i < 80; ++i)
    args.push_back(
        page("s/p" + std::to_string(10 + i) + ".html", "</body>").substr(dir.path().size() + 1));
  page("s/sub/q.html", "</body>");
  if (!try_symlink("p10.html", dir / "s/link.html")) GTEST_SKIP() << "no symbolic links here";
  args.insert(args.end(), {"s/sub", "s/link.html", "s/gone.html"});
  ProgramOutput missing = run(args);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("cannot open 's/gone.html'"), std::string::npos) << missing.err;
  EXPECT_EQ(dir.read("s/p10.html"), "</body>");
  args.pop_back();
  ProgramOutput r = run(args);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, summary(82, 81, 0, 1));
  EXPECT_EQ(dir.read("s/sub/q.html"), with_snippet("", "</body>"));
}

TEST_F(CliCommand, recursionSkipsHiddenFoldersAndLinksToFolders) {
  for (const char* name : {"site/z.html", "site/Sub/b.html", "site/Sub/deeper/c.html",
                           "site/a/a.html", "site/.cache/d.html", "elsewhere/e.html"})
    page(name, "</body>");
  if (!try_symlink("../elsewhere", dir / "site/linked", true))
    GTEST_SKIP() << "no symbolic links here";
  ProgramOutput r = run({"-v", "--recursive", "snippet.txt", "site"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "upgraded: site/z.html\nupgraded: site/a/a.html\nupgraded: site/Sub/b.html\n"
            "upgraded: site/Sub/deeper/c.html\n" +
                summary(4, 4, 0, 0));
  EXPECT_EQ(dir.read("site/.cache/d.html"), "</body>");
  EXPECT_EQ(dir.read("elsewhere/e.html"), "</body>");
}

#ifndef _WIN32  // folder permissions for another user are POSIX's
TEST_F(CliCommand, foldersThatCannotBeListedAreReportedAndTheOthersDone) {
  for (const char* name : {"site/a.html", "site/locked/b.html", "site/open/c.html"})
    page(name, "</body>");
  for (const char* name : {"", "/site", "/site/a.html", "/site/open", "/site/open/c.html"})
    open_to_everyone(dir.path() + name);
  fs::permissions(dir / "site/locked", fs::perms::none);
  // As an unprivileged user, for whom the locked folder is really locked.
  const int outcome = run_unprivileged([&] {
    ProgramOutput r = run({"-r", "snippet.txt", "site"});
    return (r.exit_code == 1 ? 0 : 1) |
           (r.err == "quorvane-insert-cli: cannot open the folder 'site/locked': Permission "
                     "denied; its pages are left out\n"
                ? 0
                : 2) |
           (r.out == summary(2, 2, 0, 0) ? 0 : 4);
  });
  fs::permissions(dir / "site/locked", fs::perms::owner_all);
  EXPECT_EQ(outcome, 0) << "1: exit status, 2: message, 4: summary";
  EXPECT_EQ(dir.read("site/a.html"), with_snippet("", "</body>"));
  EXPECT_EQ(dir.read("site/open/c.html"), with_snippet("", "</body>"));
  EXPECT_EQ(dir.read("site/locked/b.html"), "</body>");
}
#endif

TEST_F(CliCommand, settingsBesideTheExecutableAreOverriddenByOptions) {
  fs::create_directory(dir / "bin");
  // Under the program's own file name: on Windows, CreateProcess looks for NAME.exe.
  program = dir / ("bin/" + fs::path(QV_CLI_PATH).filename().string());
  fs::copy_file(QV_CLI_PATH, program);
  fs::permissions(program, fs::perms::owner_all);
  dir.write("bin/quorvane.ini", "[parametres]\r\nbalise= </div> \r\nverification=off\r\n");
  dir.write("plain.txt", "plain");
  page("a.html", "<div>1</div><div>2</div></body>");

  ProgramOutput from_settings = run({"plain.txt", "a.html"});
  ASSERT_EQ(from_settings.exit_code, 0) << from_settings.err;
  EXPECT_EQ(dir.read("a.html"), "<div>1</div><div>2\r\nplain\r\n</div></body>");
  ProgramOutput from_option = run({"--tag", "</body>", "plain.txt", "a.html"});
  ASSERT_EQ(from_option.exit_code, 0) << from_option.err;
  EXPECT_EQ(dir.read("a.html"), "<div>1</div><div>2\r\nplain\r\n</div>\r\nplain\r\n</body>");
  EXPECT_EQ(run({"--verify", "plain.txt", "a.html"}).exit_code, 3);

  dir.write("bin/quorvane.ini", "[parametres]\nbalise=\n");
  ProgramOutput empty_tag = run({"snippet.txt", "a.html"});
  EXPECT_EQ(empty_tag.exit_code, 2);
  EXPECT_EQ(empty_tag.err, "quorvane-insert-cli: the tag is empty in '" + dir.path() +
                               "/bin/quorvane.ini'; give one with --tag\n");
}

}  // namespace
}  // namespace qv::testing
