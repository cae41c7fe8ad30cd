#include "system/file_io.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "files/folder_listing.h"
#include "files/page_files.h"
#include "system/linux/file_systems.h"
#include "system/page_buffer.h"
#include "tests/support/page_assertions.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"
#include "text/temporary_name.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::every_name;
using testing::TempFolder;

using namespace std::string_literals;
const std::string kAwkwardBytes = "<p>\0\x1a\r\xff\xfe\x80 caf\xe9 \xc3\xa9</body>\r"s;

fs::perms mode_of(const std::string& path) { return fs::status(path).permissions(); }

// Rewrites the page at `path` as a batch does: read, stage, flush, replace, sync; `notes`, when
// given, receives what the batch said beside the page.
std::optional<IoError> rewrite(const std::string& path, std::span<const std::string_view> pieces,
                               RewriteWatch* watch = nullptr,
                               std::vector<std::string>* notes = nullptr) {
  PageFiles files(watch);
  std::string bytes;
  std::variant<OpenedPage, IoError> read = files.read(path, bytes);
  if (IoError* error = std::get_if<IoError>(&read)) return *error;
  OpenedPage& page = std::get<OpenedPage>(read);
  if (std::optional<IoError> error = files.stage(page, pieces)) return error;
  if (std::optional<IoError> error = files.make_durable()) return error;
  std::variant<CommitOutcome, IoError> committed = files.commit(page);
  if (IoError* error = std::get_if<IoError>(&committed)) return *error;
  if (std::get<CommitOutcome>(committed) != CommitOutcome::replaced)
    return IoError{path, "changed"};
  if (notes != nullptr) *notes = files.notes();
  return files.sync_written();
}
std::optional<IoError> rewrite(const std::string& path, std::string_view content,
                               RewriteWatch* watch = nullptr,
                               std::vector<std::string>* notes = nullptr) {
  return rewrite(path, std::span<const std::string_view>(&content, 1), watch, notes);
}

TEST(ReadFile, returnsEveryByteOfTheFile) {
  TempFolder dir;
  std::string content;
  ASSERT_FALSE(read_file(dir.write("page.html", kAwkwardBytes), content));
  EXPECT_EQ(content, kAwkwardBytes);
  ASSERT_FALSE(read_file(dir.write("empty.html", ""), content));
  EXPECT_EQ(content, "");
  // One buffer for page after page: nothing of a longer page read before is left over.
  ASSERT_FALSE(read_file(dir.write("long.html", std::string(5000, 'x')), content));
  ASSERT_FALSE(read_file(dir.write("short.html", "ab"), content));
  EXPECT_EQ(content, "ab");
}

TEST(ReadFile, pageBufferHoldsEveryBytePageAfterPageOnAnAlignedStart) {
  TempFolder dir;
  PageBuffer buffer;
  const std::string big = kAwkwardBytes + std::string(100000, 'b') + kAwkwardBytes;
  for (const std::string& content : {kAwkwardBytes, big, "ab"s, ""s, big}) {
    ASSERT_FALSE(read_file(dir.write("page.html", content), buffer));
    EXPECT_EQ(buffer.view(), content);
  }
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 4096, 0u);
  ASSERT_TRUE(read_file(dir / "missing.html", buffer));
  EXPECT_EQ(buffer.size(), 0u);

  buffer.clear();
  buffer.append("abc", 3);
  buffer.append(big.data(), big.size());  // grows, keeping what it held
  EXPECT_EQ(buffer.view(), "abc" + big);
}

TEST(ReadFile, pipesAndDevicesAreRefusedAtOnceEvenBehindALink) {
  TempFolder dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.html").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", dir / "zero.html");
  std::string content;
  PageFiles files;
  for (auto [name, reason] : {std::pair{"pipe.html", "Not a regular file (a named pipe)"},
                              std::pair{"zero.html", "Not a regular file (a device)"}}) {
    std::optional<IoError> error = read_file(dir / name, content);
    ASSERT_TRUE(error) << name;
    EXPECT_EQ(error->reason, reason);
    std::variant<OpenedPage, IoError> page = files.read(dir / name, content);
    ASSERT_TRUE(std::holds_alternative<IoError>(page)) << name;
    EXPECT_EQ(std::get<IoError>(page).reason, reason);
  }
}

TEST(ReadFile, missingFileOrFolderIsAnErrorNamingThePath) {
  TempFolder dir;
  std::string content = "stale";
  std::optional<IoError> error = read_file(dir / "missing.html", content);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->path, dir / "missing.html");
  EXPECT_EQ(error->reason, "No such file or directory");
  EXPECT_TRUE(content.empty());
  fs::create_directory(dir / "folder.html");
  error = read_file(dir / "folder.html", content);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "Is a directory");
}

TEST(RewritePage, writesExactlyTheNewBytesAndLeavesNoTemporaryFile) {
  TempFolder dir;
  std::string path = dir.write("page.html", "old content that is longer");
  std::string_view pieces[] = {"new", "\r\n", std::string_view(kAwkwardBytes)};
  ASSERT_FALSE(rewrite(path, pieces));
  EXPECT_EQ(dir.read("page.html"), "new\r\n" + kAwkwardBytes);
  EXPECT_EQ(every_name(dir.path()), std::vector<std::string>{"page.html"});
}

TEST(RewritePage, keepsThePermissionBits) {
  TempFolder dir;
  std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_FALSE(rewrite(path, "new"));
  EXPECT_EQ(mode_of(path), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(RewritePage, rewritesTheTargetOfASymbolicLinkAndKeepsTheLink) {
  TempFolder dir;
  fs::create_directory(dir / "real");
  std::string target = dir.write("real/page.html", "old");
  fs::create_symlink("real/page.html", dir / "link.html");
  ASSERT_FALSE(rewrite(dir / "link.html", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.html"));
  EXPECT_EQ(fs::read_symlink(dir / "link.html"), "real/page.html");
  EXPECT_EQ(dir.read("real/page.html"), "new");
  EXPECT_EQ(every_name(dir.path()).size(), 2u);
}

TEST(RewritePage, refusesAFileWithoutWriteBitsAndLeavesItAsItWas) {
  TempFolder dir;
  std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
  std::optional<IoError> error = rewrite(path, "new");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "Permission denied");
  EXPECT_EQ(dir.read("page.html"), "old");
  EXPECT_EQ(every_name(dir.path()), std::vector<std::string>{"page.html"});
}

TEST(RewritePage, unprivilegedUserCannotReplaceAnotherUsersFileInAWritableFolder) {
  TempFolder dir;
  testing::open_to_everyone(dir.path());
  std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  int outcome = testing::run_unprivileged([&] {
    std::optional<IoError> error = rewrite(path, "new");
    return error && error->reason == "Permission denied" ? 0 : 1;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(dir.read("page.html"), "old");
  EXPECT_EQ(every_name(dir.path()).size(), 1u);
}

TEST(RewritePage, aGroupMemberWhoCannotKeepTheOwnerKeepsTheGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to give the page away";
  TempFolder dir;
  testing::open_to_everyone(dir.path());
  constexpr unsigned kSiteGroup = 4242;  // the page's group; the user is a member, not its owner
  std::string path = dir.write("page.html", "old");
  ASSERT_EQ(::chown(path.c_str(), 0, kSiteGroup), 0);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::group_write | fs::perms::others_read);
  EXPECT_EQ(testing::run_unprivileged([&] { return rewrite(path, "new") ? 1 : 0; }, kSiteGroup), 0);
  struct stat now {};
  ASSERT_EQ(::stat(path.c_str(), &now), 0);
  EXPECT_EQ(dir.read("page.html"), "new");
  EXPECT_EQ(now.st_gid, kSiteGroup);
  EXPECT_EQ(now.st_mode & 07777, 0664u);
}

TEST(RewritePage, folderWhereNoTemporaryFileCanBeCreatedFailsCleanly) {
  TempFolder dir;
  testing::open_to_everyone(dir.path());
  fs::create_directory(dir / "locked");
  std::string path = dir.write("locked/page.html", "old");
  fs::permissions(path, fs::perms::all);
  fs::permissions(dir / "locked",
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  int outcome = testing::run_unprivileged([&] { return rewrite(path, "new") ? 0 : 1; });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(dir.read("locked/page.html"), "old");
}

TEST(RewritePage, missingFileIsAnError) {
  TempFolder dir;
  std::optional<IoError> error = rewrite(dir / "gone.html", "new");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->path, dir / "gone.html");
  EXPECT_FALSE(fs::exists(dir / "gone.html"));
}

// The attributes of the file at `path`, by name.
std::map<std::string, std::string> attributes_of(const std::string& path) {
  std::map<std::string, std::string> values;
  char names[4096];
  const ssize_t length = ::listxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t size = ::getxattr(path.c_str(), names + at, value, sizeof value);
    values[names + at] = std::string(value, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
  }
  return values;
}

TEST(RewritePage, keepsAccessControlListsAndAttributesAndAddsNoneFromTheFolder) {
  TempFolder dir;
  const std::string page = dir.write("page.html", "old");
  const std::string plain = dir.write("plain.html", "old");
  fs::permissions(page, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  if (::setxattr(page.c_str(), "user.origin", "cms", 3, 0) != 0)
    GTEST_SKIP() << "no extended attributes here: " << std::strerror(errno);
  // A named user may write the page; the folder gives new files an entry for another user.
  ASSERT_EQ(std::system(("setfacl -m u:nobody:rw '" + page + "' && setfacl -d -m u:daemon:rwx '" +
                         dir.path() + "'")
                            .c_str()),
            0);
  const auto page_attributes = attributes_of(page);
  ASSERT_EQ(page_attributes.size(), 2u);
  const fs::perms page_mode = mode_of(page), plain_mode = mode_of(plain);

  ASSERT_FALSE(rewrite(page, "new"));
  ASSERT_FALSE(rewrite(plain, "new"));
  EXPECT_EQ(attributes_of(page), page_attributes);
  EXPECT_EQ(mode_of(page), page_mode);
  EXPECT_EQ(attributes_of(plain), (std::map<std::string, std::string>{}));
  EXPECT_EQ(mode_of(plain), plain_mode);
}

TEST(RewritePage, aPageWhoseAttributesCannotAllBeKeptIsLeftAsItWas) {
  TempFolder dir;
  testing::open_to_everyone(dir.path());
  const std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::all);
  // File capabilities (revision 2, one permitted capability): set by the superuser only.
  const std::uint32_t capability[5] = {0x02000000, 1u << 10, 0, 0, 0};
  if (::chown(path.c_str(), 65534, 65534) != 0 ||
      ::setxattr(path.c_str(), "security.capability", capability, sizeof capability, 0) != 0)
    GTEST_SKIP() << "needs the superuser: " << std::strerror(errno);
  const int outcome = testing::run_unprivileged([&] {
    std::optional<IoError> error = rewrite(path, "new");
    return error && error->reason.starts_with(
                        "Cannot keep its extended attribute security.capability: ")
               ? 0
               : 1;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(dir.read("page.html"), "old");
  EXPECT_EQ(every_name(dir.path()).size(), 1u);
}

TEST(RewritePage, thePageMustStillBeTheFileReadWhenItIsReplaced) {
  // Between the read and the replacement, the page is swapped for a link to a file outside the
  // site, edited in place, or replaced by another file.
  const std::vector<std::function<void(const TempFolder&)>> changes = {
      [](const TempFolder& dir) {
        fs::remove(dir / "page.html");
        fs::create_symlink(dir / "outside.txt", dir / "page.html");
      },
      [](const TempFolder& dir) { dir.write("page.html", "older"); },
      [](const TempFolder& dir) {
        dir.write("other.html", "other");
        fs::rename(dir / "other.html", dir / "page.html");
      }};
  for (const auto& change : changes) {
    TempFolder dir;
    const std::string outside = dir.write("outside.txt", "outside");
    const std::string path = dir.write("page.html", "old");
    PageFiles files;
    std::string bytes;
    std::variant<OpenedPage, IoError> read = files.read(path, bytes);
    OpenedPage& page = std::get<OpenedPage>(read);
    const std::string_view content = "new";
    ASSERT_FALSE(files.stage(page, std::span(&content, 1)));
    ASSERT_FALSE(files.make_durable());
    change(dir);
    const std::string after = dir.read("page.html");
    std::variant<CommitOutcome, IoError> committed = files.commit(page);
    ASSERT_TRUE(std::holds_alternative<CommitOutcome>(committed));
    EXPECT_EQ(std::get<CommitOutcome>(committed), CommitOutcome::changed);
    EXPECT_EQ(dir.read("page.html"), after);
    EXPECT_EQ(dir.read("outside.txt"), "outside");
    EXPECT_EQ(every_name(dir.path()).size(), 2u);  // no temporary file left
  }
}

TEST(RewritePage, aNameOfTheLongestLengthCanBeRewritten) {
  TempFolder dir;
  const std::string name = std::string(250, 'n') + ".html";
  ASSERT_FALSE(rewrite(dir.write(name, "old"), "new"));
  EXPECT_EQ(dir.read(name), "new");
  EXPECT_EQ(every_name(dir.path()), std::vector<std::string>{name});
}

TEST(FileSystemTraits, sharesAndFuseFlushEachFileAndLetThePageGoFatRemovesFirst) {
  using sys::traits_of_file_system;
  const auto ext4 = traits_of_file_system(0xEF53);
  EXPECT_EQ(ext4.can.flush, sys::FlushScope::whole_file_system);
  EXPECT_EQ(ext4.can.page_release, sys::PageRelease::in_background_after_replace);
  EXPECT_EQ(ext4.ownership, sys::Ownership::per_file);
  // NFS, SMB3, FUSE (sshfs, ntfs-3g) and a kind never heard of.
  for (unsigned long remote : {0x6969ul, 0xFE534D42ul, 0x65735546ul, 0x12345678ul}) {
    const auto traits = traits_of_file_system(remote);
    EXPECT_EQ(traits.can.flush, sys::FlushScope::each_file) << std::hex << remote;
    EXPECT_EQ(traits.can.page_release, sys::PageRelease::before_replace) << std::hex << remote;
    EXPECT_EQ(traits.can.replace, sys::ReplaceStep::atomic_rename) << std::hex << remote;
    EXPECT_EQ(traits.ownership, sys::Ownership::mount_may_decide) << std::hex << remote;
  }
  const auto vfat = traits_of_file_system(0x4D44);
  EXPECT_EQ(vfat.can.replace, sys::ReplaceStep::remove_then_rename);
  EXPECT_EQ(vfat.ownership, sys::Ownership::mount);
  EXPECT_EQ(vfat.can.flush, sys::FlushScope::each_file);  // its syncfs sends no cache flush
  EXPECT_EQ(traits_of_file_system(0x2011BAB0).can.flush, sys::FlushScope::whole_file_system);
}

// Takes the road of a FAT file system (no rename over a file: remove, then rename) or of a share
// (each file flushed and closed before its rename, the page let go first) on the disk at hand.
struct OtherFileSystem : RewriteWatch {
  sys::FolderCapabilities road;
  void folder_opened(sys::FolderCapabilities& can) override { can = road; }
};

// A process id that no process has now.
std::uint64_t dead_process() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return static_cast<std::uint64_t>(child);
}

TEST(RewritePage, onFatAPageCutBetweenRemovalAndRenameIsPutBackBeforeLeftoversGo) {
  TempFolder dir;
  OtherFileSystem fat;
  fat.road.replace = sys::ReplaceStep::remove_then_rename;
  std::string page = dir.write("a.html", "old a");
  ASSERT_FALSE(rewrite(page, "new a", &fat));
  EXPECT_EQ(every_name(dir.path()), std::vector<std::string>{"a.html"});
  EXPECT_EQ(dir.read("a.html"), "new a");

  // A run cut after removing "b.html", before renaming its new content; and one cut before
  // removing "c.html". Plus a leftover of an earlier version's run.
  TemporaryOwner dead = sys::this_run();
  dead.process = dead_process();
  const std::string b_new = detail::new_temporary_name(dead),
                    c_new = detail::new_temporary_name(dead);
  dir.write(b_new, "new b");
  dir.write(intent_name_for(b_new), intent_text("b.html"));
  dir.write("c.html", "old c");
  dir.write(c_new, "new c");
  dir.write(intent_name_for(c_new), intent_text("c.html"));
  dir.write(".qv-tmp-abcdEFGH", "leftover");
  std::vector<std::string> notes;
  ASSERT_FALSE(rewrite(page, "newer a", &fat, &notes));
  EXPECT_EQ(every_name(dir.path()), (std::vector<std::string>{"a.html", "b.html", "c.html"}));
  EXPECT_EQ(dir.read("b.html"), "new b");
  EXPECT_EQ(dir.read("c.html"), "old c");
  EXPECT_EQ(notes,
            std::vector<std::string>{"restored " + dir.path() + "/b.html from an interrupted run"});
}

TEST(RewritePage, onAShareThePageIsLetGoAndTheStagedFileClosedBeforeTheRename) {
  TempFolder dir;
  OtherFileSystem share;
  share.road.flush = sys::FlushScope::each_file;
  share.road.page_release = sys::PageRelease::before_replace;
  share.road.shared = true;
  std::string page = dir.write("a.html", "old");
  // A dead local run's leftover goes; one of a run on another machine, younger than its lease,
  // stays.
  TemporaryOwner here = sys::this_run(), elsewhere = here;
  here.process = dead_process();
  elsewhere.machine = "0123456789abcdef";
  const std::string mine = detail::new_temporary_name(here),
                    theirs = detail::new_temporary_name(elsewhere);
  dir.write(mine, "x");
  dir.write(theirs, "y");
  ASSERT_FALSE(rewrite(page, "new", &share));
  EXPECT_EQ(dir.read("a.html"), "new");
  EXPECT_EQ(every_name(dir.path()), (std::vector<std::string>{theirs, "a.html"}));
}

TEST(TemporaryNames, areHiddenAndRecognised) {
  EXPECT_TRUE(is_temporary_name(".qv-tmp-AbC12xyZ"));
  EXPECT_FALSE(is_temporary_name("page.html"));
  EXPECT_FALSE(is_temporary_name(".qv-tmp-AbC12xy"));
  EXPECT_FALSE(is_temporary_name(".qv-tmp-AbC12xy."));

  const TemporaryOwner owner{"00c0ffee12345678", 4711, 1'800'000'000};
  const std::string name = detail::new_temporary_name(owner);
  EXPECT_TRUE(is_temporary_name(name));
  EXPECT_LT(name.size(), 64u);
  EXPECT_EQ(owner_of(name), owner);
  EXPECT_EQ(owner_of(intent_name_for(name)), owner);
  EXPECT_TRUE(is_intent_name(intent_name_for(name)));
  EXPECT_EQ(temporary_name_for(intent_name_for(name)), name);
  EXPECT_FALSE(is_temporary_name(name + "-1"));
  EXPECT_FALSE(owner_of(".qv-tmp-AbC12xyZ"));

  const std::string weird = "a\nb:c.html";
  EXPECT_EQ(page_of_intent(intent_text(weird)), weird);
  const std::string text = intent_text("page.html");
  EXPECT_FALSE(page_of_intent(text.substr(0, text.size() - 1)));  // cut short
}

TEST(TemporaryNames, aMakerIsGoneWhenItsProcessIsOrOnAShareWhenItsLeaseRanOut) {
  const TemporaryOwner self{"aaaaaaaa11111111", 100, 10'000};
  const TemporaryOwner local{"aaaaaaaa11111111", 200, 9'000};
  const TemporaryOwner rebooted{"aaaaaaaa22222222", 200, 9'000};
  EXPECT_TRUE(owner_is_gone(local, self, true, false, 10'000, 3600));
  EXPECT_FALSE(owner_is_gone(local, self, true, true, 10'000, 3600));
  EXPECT_FALSE(owner_is_gone(self, self, false, false, 10'000, 3600));  // this very run
  // Another boot or machine: on a local disk gone at once; on a share, once its lease is over.
  EXPECT_TRUE(owner_is_gone(rebooted, self, false, true, 10'000, 3600));
  EXPECT_FALSE(owner_is_gone(rebooted, self, true, false, 10'000, 3600));
  EXPECT_TRUE(owner_is_gone(rebooted, self, true, false, 9'000 + 3601, 3600));
}

TEST(ApplicationFolder, endsWithASeparatorAndHoldsThisExecutable) {
  std::string folder = application_folder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(fs::exists(folder + "files_tests"));
}

}  // namespace
}  // namespace qv
