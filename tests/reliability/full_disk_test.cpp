// A disk that fills up in the middle of a run, in two ways: a write of the file layer made to fail
// with ENOSPC through its fault-injection switch (always available), and a real 2 MB tmpfs that
// runs out of space (where this machine lets the tests mount one; skipped otherwise). Either way
// the run stops at the page that did not fit, names it, and leaves that page and the later ones
// byte for byte as they were, with no temporary file behind.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include "cli/program.h"
#include "system/file_io.h"
#include "tests/run/run_fixture.h"
#include "tests/support/batch_faults.h"
#include "tests/support/page_assertions.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using Prompts = std::vector<std::string>;

const std::string kNoSpace = std::strerror(ENOSPC);

// Runs the command-line program's whole main in this process, its page loop watched by `faults`.
ProgramOutput run_cli_here(const std::vector<std::string>& arguments,
                           BatchFaults* faults = nullptr) {
  using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;
  File out(std::tmpfile(), &std::fclose), err(std::tmpfile(), &std::fclose);
  ProgramOutput result;
  result.exit_code = cli::program_main(arguments, out.get(), err.get(), faults);
  for (auto [file, text] : {std::pair{out.get(), &result.out}, std::pair{err.get(), &result.err}}) {
    std::fflush(file);
    std::rewind(file);
    char chunk[4096];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) text->append(chunk, got);
  }
  return result;
}

// Mounts a tmpfs of `size` on `folder` for the life of the object, where permitted.
class SmallDisk {
 public:
  SmallDisk(std::string folder, std::string_view size) : folder_(std::move(folder)) {
    const std::string options = "size=" + std::string(size) + ",mode=0755";
    if (::mount("qv-full-disk", folder_.c_str(), "tmpfs", 0, options.c_str()) != 0)
      refusal_ = std::strerror(errno);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  ~SmallDisk() {
    if (refusal_.empty()) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  // Empty when mounted; otherwise why not.
  const std::string& refusal() const { return refusal_; }

  // Fills the disk with a file outside any page pattern until only `left` bytes are free.
  void fill_leaving(std::size_t left) const {
    struct statvfs info {};
    ASSERT_EQ(::statvfs(folder_.c_str(), &info), 0);
    const std::size_t free_bytes = std::size_t(info.f_bavail) * info.f_frsize;
    ASSERT_GT(free_bytes, left);
    std::string filler(free_bytes - left, 'f');
    std::FILE* file = std::fopen((folder_ + "/filler.bin").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(filler.data(), 1, filler.size(), file);
    ASSERT_EQ(std::fclose(file), 0);
  }

 private:
  std::string folder_;
  std::string refusal_;
};

// A site laid out so that, on a disk with about 256 KB free, the small pages fit one by one (not
// all at once: 9 x 40 KB) and "m.html" (600 KB) does not: "a1.html" to "a9.html", then
// "m.html", then "z1.html" to "z3.html".
struct TightSite {
  std::vector<std::string> before, after;
  std::string big = "<html>" + std::string(600 * 1024, 'm') + "</body></html>";

  explicit TightSite(const std::string& folder) {
    for (int i = 1; i <= 9; ++i) before.push_back("a" + std::to_string(i) + ".html");
    for (int i = 1; i <= 3; ++i) after.push_back("z" + std::to_string(i) + ".html");
    for (const auto& names : {before, after})
      for (const std::string& name : names) write(folder + "/" + name, content(name));
    write(folder + "/m.html", big);
  }
  static std::string content(const std::string& name) {
    return "<p>" + name + std::string(40 * 1024, '.') + "</p></body></html>";
  }
  static void write(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
  }

  // The small pages before "m.html" received the text; it and the ones after are untouched.
  void expect_stopped_at_big_page(const std::string& folder) const {
    std::string bytes;
    for (const std::string& name : before) {
      ASSERT_FALSE(read_file(folder + "/" + name, bytes));
      std::string original = content(name);
      EXPECT_EQ(bytes,
                with_snippet(original.substr(0, original.rfind("</body>")), "</body></html>"))
          << name;
    }
    ASSERT_FALSE(read_file(folder + "/m.html", bytes));
    EXPECT_TRUE(bytes == big) << "m.html changed: " << bytes.size() << " bytes";
    for (const std::string& name : after) {
      ASSERT_FALSE(read_file(folder + "/" + name, bytes));
      EXPECT_EQ(bytes, content(name)) << name;
    }
  }
};

// Through the window: the injected failure.

using FullDiskWindow = RunFixture;

TEST_F(FullDiskWindow, injectedNoSpaceStopsTheRunAtThatPageAndNamesIt) {
  for (const char* name : {"a.html", "b.html", "c.html", "d.html", "e.html"})
    page(name, std::string("<p>") + name + "</p></body>");
  choose_text(kSnippet);
  open_site();
  faults.fail_write(3, ENOSPC);  // the window writes each page in one piece
  form.Command3_Click();

  ASSERT_EQ(w.message_box.shown.size(), 3u);
  const auto& error = w.message_box.shown[1];
  EXPECT_EQ(error.prompt, "Cannot write the page:\n" + site + "/c.html\n" + kNoSpace +
                              "\n\nThe run stops here: this page and the ones after it are "
                              "unchanged. Before it, 2 pages received the text.");
  EXPECT_EQ(error.title, " Insert text in HTML");
  EXPECT_EQ(prompts().back(), " 2 file(s) have been upgraded ");
  EXPECT_EQ(page_bytes("a.html"), with_snippet("<p>a.html</p>", "</body>"));
  EXPECT_EQ(page_bytes("b.html"), with_snippet("<p>b.html</p>", "</body>"));
  for (const char* name : {"c.html", "d.html", "e.html"})
    EXPECT_EQ(page_bytes(name), std::string("<p>") + name + "</p></body>");
  EXPECT_EQ(every_name(site),
            (std::vector<std::string>{"a.html", "b.html", "c.html", "d.html", "e.html"}));
}

// Through the command line: the injected failure, half-way through a page's pieces.

TEST(FullDiskCli, injectedNoSpaceInTheMiddleOfAPageLeavesItWhole) {
  BatchFaults faults;
  TempFolder dir;
  dir.write("snippet.txt", kSnippet);
  fs::create_directory(dir / "site");
  for (const char* name : {"a.html", "b.html", "c.html", "d.html", "e.html"})
    dir.write(std::string("site/") + name, std::string("<p>") + name + "</p></body>");
  // Each page goes out in five writes (head, line break, text, line break, tail): the 13th is
  // the text of the third page, after its head has already reached the temporary file.
  faults.fail_write(13, ENOSPC);
  ProgramOutput r =
      run_cli_here({"--tag", "</body>", "--verify", dir / "snippet.txt", dir / "site"}, &faults);

  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "quorvane-insert-cli: cannot write '" + dir.path() +
                       "/site/c.html': " + kNoSpace +
                       "\nquorvane-insert-cli: the run stopped at page 3 of 5: 2 pages before "
                       "it received the text; this page and the ones after it are unchanged\n");
  EXPECT_EQ(r.out, "5 pages listed: 2 upgraded, 0 without the tag, 0 skipped\n");
  EXPECT_EQ(dir.read("site/b.html"), with_snippet("<p>b.html</p>", "</body>"));
  for (const char* name : {"c.html", "d.html", "e.html"})
    EXPECT_EQ(dir.read(std::string("site/") + name), std::string("<p>") + name + "</p></body>");
  EXPECT_EQ(every_name(dir / "site").size(), 5u);

  // Once there is room again, a run that skips the pages holding the text completes the site.
  ProgramOutput resumed =
      run_cli_here({"--skip-present", "--tag", "</body>", dir / "snippet.txt", dir / "site"});
  EXPECT_EQ(resumed.exit_code, 0) << resumed.err;
  EXPECT_EQ(resumed.out, "5 pages listed: 3 upgraded, 0 without the tag, 2 skipped\n");
  for (const char* name : {"a.html", "c.html", "e.html"})
    EXPECT_EQ(dir.read(std::string("site/") + name),
              with_snippet(std::string("<p>") + name + "</p>", "</body>"));
}

// A real file system that runs out of space.

TEST(FullTmpfs, commandLineStopsAtThePageThatDoesNotFit) {
  TempFolder dir;
  dir.write("snippet.txt", kSnippet);
  const std::string site = dir / "site";
  fs::create_directory(site);
  SmallDisk disk(site, "2m");
  if (!disk.refusal().empty()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.refusal();
  TightSite pages(site);
  disk.fill_leaving(256 * 1024);

  ProgramOutput r =
      run_program(QV_CLI_PATH, {"--tag", "</body>", "snippet.txt", "site"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
            "quorvane-insert-cli: cannot write 'site/m.html': " + kNoSpace);
  EXPECT_NE(r.err.find("stopped at page 10 of 13"), std::string::npos) << r.err;
  pages.expect_stopped_at_big_page(site);
  EXPECT_EQ(every_name(site).size(), 14u) << "a temporary file was left on the full disk";

  fs::remove(site + "/filler.bin");
  ProgramOutput resumed =
      run_program(QV_CLI_PATH, {"--skip-present", "snippet.txt", "site"}, dir.path());
  EXPECT_EQ(resumed.exit_code, 0) << resumed.err;
  EXPECT_EQ(resumed.out, "13 pages listed: 4 upgraded, 0 without the tag, 9 skipped\n");
}

using FullTmpfsWindow = RunFixture;

TEST_F(FullTmpfsWindow, windowStopsAtThePageThatDoesNotFitAndSaysWhich) {
  SmallDisk disk(site, "2m");
  if (!disk.refusal().empty()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.refusal();
  TightSite pages(site);
  disk.fill_leaving(256 * 1024);
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();

  ASSERT_EQ(prompts().size(), 3u);
  EXPECT_EQ(prompts()[1].substr(0, prompts()[1].find("\n\n")),
            "Cannot write the page:\n" + site + "/m.html\n" + kNoSpace);
  EXPECT_EQ(prompts()[2], " 9 file(s) have been upgraded ");
  pages.expect_stopped_at_big_page(site);
  EXPECT_EQ(every_name(site).size(), 14u) << "a temporary file was left on the full disk";
}

}  // namespace
}  // namespace qv::testing
