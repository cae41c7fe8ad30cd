// Pages that fight back, through the window (control doubles) and the built command-line program:
// files that change under a run, links of every kind, awkward names, odd encodings, a huge page
// and the leftovers of a killed run. Each ends either byte-exact or with a message naming the
// page and nothing lost. (Read-only pages, dashed and non-ASCII names, and NUL, 0x1A and invalid
// UTF-8 bytes are covered by the run and command-line tests.)
#include <algorithm>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/folder_listing.h"
#include "system/file_io.h"
#include "tests/run/run_fixture.h"
#include "tests/support/page_assertions.h"
#include "tests/support/run_program.h"
#include "tests/support/unprivileged.h"
#include "text/temporary_name.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Names = std::vector<std::string>;

ino_t inode_of(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The resident memory of this process, in kilobytes.
long resident_kb() {
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Runs `body` in a child process (whose peak memory is its own) and returns its exit code.
int run_in_child(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The window's run meeting pages that change while it goes.

class HostileWindow : public RunFixture {
 protected:
  // Four tagged pages "a.html" to "d.html"; `change` runs while the run holds page "a.html".
  void run_changing_page_c(const std::function<void()>& change) {
    for (const char* name : {"a.html", "b.html", "c.html", "d.html"}) page(name, "</body>");
    choose_text(kSnippet);
    open_site();
    w.platform.during_yield = [&] {
      if (w.platform.yields == 1) change();
    };
    form.Command3_Click();
  }
  void expect_stopped_at_c(std::string_view reason) {
    ASSERT_EQ(prompts().size(), 3u);
    EXPECT_EQ(prompts()[1].substr(0, prompts()[1].find("\n\n")),
              "Cannot read the page:\n" + site + "/c.html\n" + std::string(reason));
    EXPECT_EQ(prompts()[2], " 2 file(s) have been upgraded ");
    EXPECT_EQ(page_bytes("b.html"), with_snippet("", "</body>"));
    EXPECT_EQ(page_bytes("d.html"), "</body>");
  }
};

TEST_F(HostileWindow, pageDeletedWhileTheRunIsOnAnEarlierOne) {
  run_changing_page_c([&] { fs::remove(site + "/c.html"); });
  expect_stopped_at_c("No such file or directory");
  EXPECT_EQ(every_name(site), (Names{"a.html", "b.html", "d.html"}));
}

TEST_F(HostileWindow, pageReplacedByAFolderWhileTheRunIsOnAnEarlierOne) {
  run_changing_page_c([&] {
    fs::remove(site + "/c.html");
    fs::create_directory(site + "/c.html");
    dir.write("site/c.html/inside.html", "</body>");
  });
  expect_stopped_at_c("Is a directory");
  EXPECT_EQ(dir.read("site/c.html/inside.html"), "</body>");
}

TEST_F(HostileWindow, pageReplacedByAPipeWhileTheRunIsOnAnEarlierOne) {
  run_changing_page_c([&] {
    fs::remove(site + "/c.html");
    ASSERT_EQ(::mkfifo((site + "/c.html").c_str(), 0644), 0);
  });
  expect_stopped_at_c("Not a regular file (a named pipe)");
}

TEST_F(HostileWindow, pageSwappedForALinkJustBeforeItsReplacementIsNotWrittenThrough) {
  page("a.html", "A</body>");
  page("b.html", "B</body>");
  const std::string outside = dir.write("outside.txt", "</body>");
  faults.before_replace_action = [&](const std::string& path) {
    if (path != site + "/a.html" || fs::is_symlink(path)) return;
    fs::remove(path);
    fs::create_symlink(outside, path);
  };
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  ASSERT_EQ(prompts().size(), 3u);
  EXPECT_TRUE(prompts()[1].starts_with("Cannot read the page:\n" + site +
                                       "/a.html\nNot a regular file (a symbolic link)\n"))
      << prompts()[1];
  EXPECT_EQ(prompts()[2], " 0 file(s) have been upgraded ");
  EXPECT_EQ(dir.read("outside.txt"), "</body>");
  EXPECT_EQ(page_bytes("b.html"), "B</body>");
  EXPECT_EQ(every_name(site), (Names{"a.html", "b.html"}));
}

// The window holds a page once in file_text and once in Text1, nothing more, however large.
TEST_F(HostileWindow, aLargePageIsHeldTwiceAtMost) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer's own memory would be counted";
#endif
  constexpr std::size_t kSize = 64u << 20;
  {
    std::string bytes(kSize, 'p');
    bytes.replace(kSize - 7, 7, "</body>");
    page("big.html", bytes);
  }
  choose_text(kSnippet);
  open_site();
  const int outcome = run_in_child([&] {
    const long before = resident_kb();
    form.Command3_Click();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double held = double(usage.ru_maxrss - before) * 1024 / kSize;
    std::printf("peak during the run: %.2f times the page\n", held);
    std::fflush(stdout);
    return prompts().back() == " 1 file(s) have been upgraded " && held <= 2.2 ? 0 : 1;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(fs::file_size(site + "/big.html"), kSize + kSnippet.size() + 4);
}

TEST_F(HostileWindow, folderWhereNoTemporaryFileCanBeCreatedStopsTheRunCleanly) {
  // The page itself is writable by everyone, its folder by its owner only: an unprivileged user
  // may write the page in place but cannot create the temporary file beside it.
  open_to_everyone(dir.path());
  const std::string a = page("a.html", "A</body>");
  fs::permissions(a, fs::perms::all);
  choose_text(kSnippet);
  open_site();
  const int outcome = run_unprivileged([&] {
    form.Command3_Click();
    const bool named = prompts().size() == 3 &&
                       prompts()[1].starts_with("Cannot write the page:\n" + site +
                                                "/a.html\nPermission denied\n\n") &&
                       prompts()[2] == " 0 file(s) have been upgraded ";
    return named ? 0 : 1;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(page_bytes("a.html"), "A</body>");
  EXPECT_EQ(every_name(site), Names{"a.html"});
}

TEST_F(HostileWindow, oddContentsAndNamesThroughTheWindow) {
  std::string utf16 = "\xFF\xFE"s;
  for (char c : "<p>x</p></body>"s) utf16 += {c, '\0'};
  page("utf16.html", utf16);
  page("empty.html", "");
  page("new\nline.html", "N</body>");
  page("cr only.html", "<p>\r\r</body>\r\x1a");
  const Names awkward = {"-x.html", "caf\xc3\xa9 1.html", "\xe9t\xe9.html"};
  for (const std::string& name : awkward) page(name, name + "</body>");
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  EXPECT_EQ(prompts().back(), " 5 file(s) have been upgraded ");
  for (const std::string& name : awkward)
    EXPECT_EQ(page_bytes(name), with_snippet(name, "</body>")) << name;
  EXPECT_EQ(page_bytes("utf16.html"), utf16);  // the 8-bit tag does not occur in UTF-16
  EXPECT_EQ(page_bytes("empty.html"), "");
  EXPECT_EQ(page_bytes("new\nline.html"), with_snippet("N", "</body>"));
  EXPECT_EQ(page_bytes("cr only.html"), with_snippet("<p>\r\r", "</body>\r\x1a"));
}

TEST_F(HostileWindow, hardLinkedPageGetsAFileOfItsOwnAndTheOtherNameKeepsTheOldBytes) {
  const std::string a = page("a.html", "A</body>");
  fs::create_hard_link(a, dir / "backup.txt");  // another name, outside the page list
  fs::create_hard_link(a, site + "/b.html");    // another name, in the page list
  const ino_t before = inode_of(a);
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  // Each listed name received the text once, into a new file of its own; the name that was not
  // listed still holds the original file.
  EXPECT_EQ(prompts().back(), " 2 file(s) have been upgraded ");
  EXPECT_EQ(page_bytes("a.html"), with_snippet("A", "</body>"));
  EXPECT_EQ(page_bytes("b.html"), with_snippet("A", "</body>"));
  EXPECT_EQ(dir.read("backup.txt"), "A</body>");
  EXPECT_EQ(inode_of(dir / "backup.txt"), before);
  EXPECT_NE(inode_of(a), before);
  EXPECT_NE(inode_of(site + "/b.html"), inode_of(a));
  EXPECT_EQ(fs::hard_link_count(dir / "backup.txt"), 1u);
}

TEST_F(HostileWindow, pageAndALinkToItInTheSameListReceiveTheTextOnce) {
  page("home.html", "H</body>");
  fs::create_symlink("home.html", site + "/index.html");
  fs::create_symlink("missing.html", site + "/dead.html");
  choose_text(kSnippet);
  open_site();
  EXPECT_EQ(w.File1.names(), (Names{"home.html", "index.html"}));  // a dangling link is no page
  form.Command3_Click();
  EXPECT_EQ(prompts(), (std::vector<std::string>{" Are you sure to modified 2 files",
                                                 " 1 file(s) have been upgraded "}));
  EXPECT_EQ(page_bytes("home.html"), with_snippet("H", "</body>"));
  EXPECT_EQ(fs::read_symlink(site + "/index.html"), "home.html");
  EXPECT_EQ(fs::read_symlink(site + "/dead.html"), "missing.html");
  EXPECT_FALSE(fs::exists(site + "/missing.html"));
}

// The built command-line program.

class HostileCli : public ::testing::Test {
 protected:
  TempFolder dir;
  void SetUp() override {
    dir.write("snippet.txt", kSnippet);
    fs::create_directory(dir / "site");
  }
  ProgramOutput run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--tag", "</body>", "--verify"});
    return run_program(QV_CLI_PATH, arguments, dir.path());
  }
};

TEST_F(HostileCli, linksDanglingDuplicatedAndHard) {
  dir.write("site/home.html", "H</body>");
  fs::create_symlink("home.html", dir / "site/index.html");
  fs::create_symlink("missing.html", dir / "site/dead.html");
  dir.write("site/a.html", "A</body>");
  fs::create_hard_link(dir / "site/a.html", dir / "a-copy.txt");

  // The folder, the same folder again, and one of its pages by name: each file once.
  ProgramOutput r = run({"-v", "snippet.txt", "site", "./site", "site/a.html"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "upgraded: site/a.html\nupgraded: site/home.html\nskipped: site/index.html\n"
            "skipped: ./site/a.html\nskipped: ./site/home.html\nskipped: ./site/index.html\n"
            "skipped: site/a.html\n7 pages listed: 2 upgraded, 0 without the tag, 5 skipped\n");
  EXPECT_EQ(dir.read("site/home.html"), with_snippet("H", "</body>"));
  EXPECT_EQ(dir.read("site/a.html"), with_snippet("A", "</body>"));
  EXPECT_EQ(dir.read("a-copy.txt"), "A</body>");
  EXPECT_TRUE(fs::is_symlink(dir / "site/index.html"));

  ProgramOutput dead = run({"snippet.txt", "site/dead.html"});
  EXPECT_EQ(dead.exit_code, 1);
  EXPECT_EQ(dead.err,
            "quorvane-insert-cli: cannot open 'site/dead.html': No such file or directory; no "
            "page has been changed\n");
  EXPECT_FALSE(fs::exists(dir / "site/missing.html"));
}

TEST_F(HostileCli, oddContentsAndANewlineInAName) {
  std::string utf16 = "\xFF\xFE"s;
  for (char c : "<p>x</p></body>"s) utf16 += {c, '\0'};
  dir.write("site/utf16.html", utf16);
  dir.write("site/empty.html", "");
  dir.write("site/new\nline.html", "N</body>");
  dir.write("site/cr.html", "<p>\r\r</body>\r\x1a");
  const ino_t empty_inode = inode_of(dir / "site/empty.html");

  ProgramOutput r = run({"snippet.txt", "site"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "4 pages listed: 2 upgraded, 2 without the tag, 0 skipped\n");
  EXPECT_EQ(dir.read("site/utf16.html"), utf16);
  EXPECT_EQ(dir.read("site/empty.html"), "");
  EXPECT_EQ(inode_of(dir / "site/empty.html"), empty_inode);
  EXPECT_EQ(dir.read("site/new\nline.html"), with_snippet("N", "</body>"));
  EXPECT_EQ(dir.read("site/cr.html"), with_snippet("<p>\r\r", "</body>\r\x1a"));
}

TEST_F(HostileCli, pipesAsPageOrAsTextFileAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((dir / "site/pipe.html").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0644), 0);
  dir.write("site/a.html", "A</body>");
  const auto run_bounded = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"20", QV_CLI_PATH, "--tag", "</body>"});
    return run_program("/usr/bin/timeout", arguments, dir.path());
  };
  ProgramOutput page = run_bounded({"snippet.txt", "site/pipe.html"});
  EXPECT_EQ(page.exit_code, 1);
  EXPECT_TRUE(
      page.err.starts_with("quorvane-insert-cli: cannot read 'site/pipe.html': Not a "
                           "regular file (a named pipe)\n"))
      << page.err;
  ProgramOutput text = run_bounded({"pipe.txt", "site"});
  EXPECT_EQ(text.exit_code, 1);
  EXPECT_EQ(text.err,
            "quorvane-insert-cli: cannot read the text file 'pipe.txt': Not a regular file (a "
            "named pipe); no page has been changed\n");
  EXPECT_EQ(dir.read("site/a.html"), "A</body>");
}

TEST_F(HostileCli, leftoversOfKilledRunsAreRemovedAndALiveRunsFileKept) {
  // What a killed run leaves behind, and the file of a run still going on (which holds its lock).
  dir.write("site/a.html", "A</body>");
  dir.write("site/.qv-tmp-Xy12Zq00", "A\r\n<script>var quo");
  const std::string live = dir.write("site/.qv-tmp-Live0000", "B\r\n<scr");
  ASSERT_TRUE(is_temporary_name(".qv-tmp-Xy12Zq00"));
  EXPECT_EQ(list_files(dir / "site", "*"), Names{"a.html"});
  EXPECT_EQ(list_files(dir / "site", ".*"), Names{});
  const int held = ::open(live.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  ProgramOutput r = run({"-v", "--pattern", "*;.*", "snippet.txt", "site"});
  ::close(held);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "upgraded: site/a.html\n1 page listed: 1 upgraded, 0 without the tag, 0 skipped\n");
  EXPECT_EQ(dir.read("site/.qv-tmp-Live0000"), "B\r\n<scr");
  EXPECT_EQ(every_name(dir / "site"), (Names{".qv-tmp-Live0000", "a.html"}));
}

// A 200 MB page: zeros with a marker every 16 MB and the tag near its end, made sparse so that
// it costs little to create.
TEST_F(HostileCli, twoHundredMegabytePageIsRewrittenByteForByte) {
  constexpr std::size_t kSize = 200u << 20;
  constexpr std::size_t kStep = 16u << 20;
  const std::string tail = "</body></html>\n";
  const std::string path = dir / "site/huge.html";
  auto marker = [](std::size_t at) { return "<!-- " + std::to_string(at) + " -->"; };
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    for (std::size_t at = 0; at < kSize - tail.size(); at += kStep)
      ASSERT_GT(::pwrite(fd, marker(at).data(), marker(at).size(), off_t(at)), 0);
    ASSERT_GT(::pwrite(fd, tail.data(), tail.size(), off_t(kSize - tail.size())), 0);
    ::close(fd);
  }

  ProgramOutput r = run({"snippet.txt", "site/huge.html"});
  ASSERT_EQ(r.exit_code, 0) << r.err;

  // Compares the result with what it must be, a chunk at a time: the original bytes up to the
  // tag, the framed text, the tag and the rest.
  const std::string frame = "\r\n" + kSnippet + "\r\n";
  const std::size_t tag_at = kSize - tail.size();
  ASSERT_EQ(fs::file_size(path), kSize + frame.size());
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::string chunk(kStep, '\0'), expected;
  for (std::size_t at = 0; at < tag_at; at += kStep) {
    const std::size_t length = std::min(kStep, tag_at - at);
    expected.assign(length, '\0');
    expected.replace(0, marker(at).size(), marker(at));
    ASSERT_EQ(::pread(fd, chunk.data(), length, off_t(at)), ssize_t(length));
    ASSERT_TRUE(std::memcmp(chunk.data(), expected.data(), length) == 0) << "at " << at;
  }
  ASSERT_EQ(::pread(fd, chunk.data(), frame.size() + tail.size(), off_t(tag_at)),
            ssize_t(frame.size() + tail.size()));
  ::close(fd);
  EXPECT_EQ(chunk.substr(0, frame.size() + tail.size()), frame + tail);
}

}  // namespace
}  // namespace qv::testing
