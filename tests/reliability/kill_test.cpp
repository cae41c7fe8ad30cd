// Kills quorvane-insert-cli with SIGKILL at random moments of runs over a few thousand pages and
// checks, after every kill, that each page is byte for byte either what it was before that run or
// what it becomes with the text inserted once more: never empty, never cut, never twice.
//
// The pages live on a memory file system (/dev/shm) where there is one: what a kill can do to a
// page depends on the program, not on the disk, and a disk only makes each run slower and its
// length erratic. Tuning through the environment: QV_KILL_FOLDER (where the pages go),
// QV_KILL_ROUNDS (kills, default 60), QV_KILL_PAGES (pages, default 2000), QV_KILL_SEED (random
// seed, default from the clock; printed for replay).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/folder_listing.h"
#include "system/file_io.h"
#include "tests/support/page_assertions.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "text/temporary_name.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kFrame = "\r\n" + kSnippet + "\r\n";

std::size_t from_environment(const char* name, std::size_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::stoul(value) : fallback;
}

// One page of the site and what the runs have done to it so far.
struct Page {
  std::string name;
  std::string head;  // the original bytes before the last "</body>" (all of them without a tag)
  std::string tail;  // the last "</body>" and what follows it
  bool tagged = false;
  std::size_t copies = 0;  // copies of the text received so far

  std::size_t size_with(std::size_t n) const {
    return head.size() + n * kFrame.size() + tail.size();
  }

  // Whether `bytes` is exactly this page holding `n` copies of the text: the original head, `n`
  // framed copies one after the other, the original tail.
  bool holds(std::string_view bytes, std::size_t n) const {
    if (bytes.size() != size_with(n) || !bytes.starts_with(head)) return false;
    std::size_t at = head.size();
    for (std::size_t i = 0; i < n; ++i, at += kFrame.size())
      if (bytes.compare(at, kFrame.size(), kFrame) != 0) return false;
    return bytes.substr(at) == tail;
  }
};

// Page contents: mostly a few kilobytes of varied markup, every 250th page a megabyte, every 9th
// page without the tag (it must never change), some with several "</body>".
std::string page_content(std::size_t index, std::mt19937& random) {
  using namespace std::string_view_literals;
  static constexpr std::string_view kWords[] = {
      "<p>"sv,  "</p>"sv, "lorem"sv,  "ipsum"sv, "caf\xc3\xa9"sv,
      "\r\n"sv, "\n"sv,   "</body"sv, "<b>"sv,   "\xff\xfe\0"sv};
  const std::size_t size = index % 250 == 125 ? (1u << 20) : 2000 + random() % 5000;
  std::string content = "<html><head><title>" + std::to_string(index) + "</title></head><body>";
  while (content.size() < size) content += kWords[random() % std::size(kWords)];
  if (index % 9 == 4) return content + "</html>\n";
  if (index % 7 == 0) content += "</body><!-- first --></body>";
  return content + "</body></html>\n";
}

std::string work_folder_parent() {
  if (const char* chosen = std::getenv("QV_KILL_FOLDER"); chosen != nullptr && *chosen != '\0')
    return chosen;
  std::error_code error;
  if (fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path().string();
}

std::vector<Page> make_site(const std::string& folder, std::size_t count, std::mt19937& random) {
  std::vector<Page> pages(count);
  for (std::size_t i = 0; i < count; ++i) {
    Page& page = pages[i];
    char name[32];
    std::snprintf(name, sizeof name, "page%05zu.html", i);
    page.name = name;
    const std::string content = page_content(i, random);
    const std::size_t tag = content.rfind("</body>");
    page.tagged = tag != std::string::npos;
    page.head = content.substr(0, page.tagged ? tag : content.size());
    page.tail = page.tagged ? content.substr(tag) : std::string();
    const int fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, content.data(), content.size()) != ssize_t(content.size()))
      throw std::runtime_error("cannot write " + page.name);
    ::close(fd);
  }
  return pages;
}

// Starts the program without waiting for it; its output goes nowhere.
pid_t start_program(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  const std::string program = QV_CLI_PATH;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0) ::_exit(126);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return child;
}

// What a check after a run found.
struct Check {
  std::size_t pages_checked = 0;
  std::size_t pages_lost = 0;  // empty, cut, doubled or otherwise not one of the two forms
  std::size_t advanced = 0;    // pages that received the text in this run
  bool in_order = true;        // the pages that received it are the first ones of the run
};

// Reads every page and matches it with its two allowed forms; records what it found in `pages`.
Check check_site(const std::string& folder, std::vector<Page>& pages) {
  Check check;
  bool gap = false;
  std::string bytes;
  for (Page& page : pages) {
    ++check.pages_checked;
    if (read_file(folder + "/" + page.name, bytes)) {
      ++check.pages_lost;
      ADD_FAILURE() << page.name << " cannot be read";
      continue;
    }
    if (page.tagged && page.holds(bytes, page.copies + 1)) {
      ++page.copies;
      ++check.advanced;
      if (gap) check.in_order = false;
    } else if (page.holds(bytes, page.copies)) {
      if (page.tagged) gap = true;
    } else {
      ++check.pages_lost;
      ADD_FAILURE() << page.name << ": " << bytes.size() << " bytes, expected "
                    << page.size_with(page.copies) << " or " << page.size_with(page.copies + 1);
    }
  }
  return check;
}

TEST(KillTest, everyPageIsWhollyOldOrWhollyNewAfterEveryKill) {
  const std::size_t rounds = from_environment("QV_KILL_ROUNDS", 60);
  const std::size_t page_count = from_environment("QV_KILL_PAGES", 2000);
  const auto seed = static_cast<unsigned>(
      from_environment("QV_KILL_SEED", std::size_t(Clock::now().time_since_epoch().count())));
  std::cout << "kill test: seed " << seed << " (QV_KILL_SEED to replay)\n";
  std::mt19937 random(seed);

  TempFolder dir(work_folder_parent());
  dir.write("snippet.txt", kSnippet);
  const std::string site = dir / "site";
  fs::create_directory(site);
  std::vector<Page> pages = make_site(site, page_count, random);
  const std::vector<std::string> run = {"--quiet",           "--tag", "</body>", "--verify",
                                        dir / "snippet.txt", site};

  // A whole run first, both as a check that runs complete and to learn how long one lasts.
  const auto started = Clock::now();
  ProgramOutput first = run_program(QV_CLI_PATH, run, dir.path());
  const auto run_time = Clock::now() - started;
  ASSERT_EQ(first.exit_code, 0) << first.err;
  Check total = check_site(site, pages);
  ASSERT_EQ(total.pages_lost, 0u);
  const std::size_t tagged = total.advanced;

  // Each round kills a run after a random delay within the length of a whole run; a run that
  // finishes first counts as a round without a kill and shortens the delays from then on.
  std::size_t kills = 0, mid_run = 0, finished_first = 0;
  auto window = std::chrono::duration_cast<std::chrono::microseconds>(run_time).count();
  for (std::size_t round = 0; kills < rounds && round < 2 * rounds; ++round) {
    const auto delay = std::chrono::microseconds(random() % std::max<long>(1, window));
    const pid_t child = start_program(run);
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(delay);
    int status = 0;
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) {
      ++kills;
    } else {
      ++finished_first;
      window = window * 3 / 4;
    }

    const Check check = check_site(site, pages);
    total.pages_checked += check.pages_checked;
    total.pages_lost += check.pages_lost;
    ASSERT_TRUE(check.in_order) << "round " << round << ": pages received the text out of order";
    ASSERT_EQ(check.pages_lost, 0u) << "round " << round;
    if (check.advanced > 0 && check.advanced < tagged) ++mid_run;
  }

  // After the kills, a plain run completes and gives every page one more copy.
  const std::size_t left = leftovers(site).size();
  ProgramOutput rerun = run_program(QV_CLI_PATH, run, dir.path());
  EXPECT_EQ(rerun.exit_code, 0) << rerun.err;
  const Check last = check_site(site, pages);
  total.pages_checked += last.pages_checked;
  total.pages_lost += last.pages_lost;
  EXPECT_EQ(last.advanced, tagged);
  EXPECT_TRUE(no_leftovers(site)) << "a later run removes the leftovers of killed runs";

  // The leftovers are hidden: neither the window's listing nor the program takes them as pages.
  const std::vector<std::string> listed = list_files(site, "*");
  EXPECT_EQ(listed.size(), page_count);
  EXPECT_TRUE(std::none_of(listed.begin(), listed.end(), is_temporary_name));
  ProgramOutput listing = run_program(
      QV_CLI_PATH, {"-v", "--dry-run", "--pattern", "*", "--no-verify", dir / "snippet.txt", site},
      dir.path());
  EXPECT_EQ(listing.exit_code, 0);
  EXPECT_EQ(listing.out.find("qv-tmp"), std::string::npos);
  EXPECT_NE(listing.out.find(std::to_string(page_count) + " pages listed"), std::string::npos)
      << listing.out.substr(listing.out.rfind('\n', listing.out.size() - 2));

  EXPECT_EQ(kills, rounds);
  EXPECT_EQ(total.pages_lost, 0u);
  std::cout << "kill test: " << page_count << " pages in " << dir.path() << ", one run "
            << std::chrono::duration_cast<std::chrono::milliseconds>(run_time).count() << " ms; "
            << kills << " kills (" << mid_run << " in the middle of the pages, " << finished_first
            << " runs finished before the kill); " << total.pages_checked << " page checks, "
            << total.pages_lost << " pages lost; " << left
            << " temporary files left by the last kill, removed by the final run\n";
}

// A plain run after a kill gives a second copy to the pages the killed run had finished; a run
// with --skip-present resumes instead, and every page ends with exactly one copy.
TEST(KillTest, runSkippingPresentPagesResumesAKilledRun) {
  std::mt19937 random(7);
  TempFolder dir(work_folder_parent());
  dir.write("snippet.txt", kSnippet);
  const std::string site = dir / "site";
  fs::create_directory(site);
  // More pages than a group, so that pages remain to be done after the first renames.
  std::vector<Page> pages = make_site(site, 1500, random);
  const std::string first_page = site + "/" + pages.front().name;
  const std::size_t first_size = fs::file_size(first_page);

  // Killed once it has rewritten at least the first page.
  const pid_t child = start_program({"--quiet", dir / "snippet.txt", site});
  ASSERT_GT(child, 0);
  int status = 0;
  pid_t ended = 0;
  while (ended == 0 && fs::file_size(first_page) == first_size)
    ended = ::waitpid(child, &status, WNOHANG);
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
  }
  EXPECT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";

  ProgramOutput resumed =
      run_program(QV_CLI_PATH, {"--skip-present", "snippet.txt", site}, dir.path());
  ASSERT_EQ(resumed.exit_code, 0) << resumed.err;
  std::string bytes;
  for (const Page& page : pages) {
    ASSERT_FALSE(read_file(site + "/" + page.name, bytes));
    EXPECT_TRUE(page.holds(bytes, page.tagged ? 1 : 0)) << page.name;
  }
}

}  // namespace
}  // namespace qv::testing
