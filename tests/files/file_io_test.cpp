#include "files/file_io.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>

#include "files/folder_listing.h"
#include "files/page_buffer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

using namespace std::string_literals;
const std::string kAwkwardBytes = "<p>\0\x1a\r\xff\xfe\x80 caf\xe9 \xc3\xa9</body>\r"s;

fs::perms mode_of(const std::string& path) { return fs::status(path).permissions(); }

std::vector<std::string> every_name(const TempFolder& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path()))
    names.push_back(entry.path().filename().string());
  return names;
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

TEST(ReplaceFile, writesExactlyTheNewBytesAndLeavesNoTemporaryFile) {
  TempFolder dir;
  std::string path = dir.write("page.html", "old content that is longer");
  std::string_view pieces[] = {"new", "\r\n", std::string_view(kAwkwardBytes)};
  ASSERT_FALSE(replace_file(path, pieces));
  EXPECT_EQ(dir.read("page.html"), "new\r\n" + kAwkwardBytes);
  EXPECT_EQ(every_name(dir), std::vector<std::string>{"page.html"});
}

TEST(ReplaceFile, keepsThePermissionBits) {
  TempFolder dir;
  std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_FALSE(replace_file(path, "new"));
  EXPECT_EQ(mode_of(path), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ReplaceFile, rewritesTheTargetOfASymbolicLinkAndKeepsTheLink) {
  TempFolder dir;
  fs::create_directory(dir / "real");
  std::string target = dir.write("real/page.html", "old");
  fs::create_symlink("real/page.html", dir / "link.html");
  ASSERT_FALSE(replace_file(dir / "link.html", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.html"));
  EXPECT_EQ(fs::read_symlink(dir / "link.html"), "real/page.html");
  EXPECT_EQ(dir.read("real/page.html"), "new");
  EXPECT_EQ(every_name(dir).size(), 2u);
}

TEST(ReplaceFile, refusesAFileWithoutWriteBitsAndLeavesItAsItWas) {
  TempFolder dir;
  std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
  std::optional<IoError> error = replace_file(path, "new");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "Permission denied");
  EXPECT_EQ(dir.read("page.html"), "old");
  EXPECT_EQ(every_name(dir), std::vector<std::string>{"page.html"});
}

TEST(ReplaceFile, unprivilegedUserCannotReplaceAnotherUsersFileInAWritableFolder) {
  TempFolder dir;
  testing::open_to_everyone(dir.path());
  std::string path = dir.write("page.html", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  int outcome = testing::run_unprivileged([&] {
    std::optional<IoError> error = replace_file(path, "new");
    return error && error->reason == "Permission denied" ? 0 : 1;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(dir.read("page.html"), "old");
  EXPECT_EQ(every_name(dir).size(), 1u);
}

TEST(ReplaceFile, folderWhereNoTemporaryFileCanBeCreatedFailsCleanly) {
  TempFolder dir;
  testing::open_to_everyone(dir.path());
  fs::create_directory(dir / "locked");
  std::string path = dir.write("locked/page.html", "old");
  fs::permissions(path, fs::perms::all);
  fs::permissions(dir / "locked",
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  int outcome = testing::run_unprivileged([&] { return replace_file(path, "new") ? 0 : 1; });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(dir.read("locked/page.html"), "old");
}

TEST(ReplaceFile, missingFileIsAnError) {
  TempFolder dir;
  std::optional<IoError> error = replace_file(dir / "gone.html", "new");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->path, dir / "gone.html");
  EXPECT_FALSE(fs::exists(dir / "gone.html"));
}

TEST(PathResolver, answersAsResolvedPathDoesWhateverLinksLieOnTheWay) {
  TempFolder dir;
  fs::create_directories(dir / "real/sub");
  dir.write("real/page.html", "p");
  dir.write("real/sub/other.html", "o");
  fs::create_directory_symlink("real", dir / "via");
  fs::create_symlink("sub/other.html", dir / "real/link.html");
  PathResolver resolver;
  for (const std::string& path :
       {dir / "real/page.html", dir / "via/page.html", dir / "real/link.html",
        dir / "via/sub/../page.html", dir / "real/sub/other.html", dir / "via/./sub/other.html",
        dir / "real/.", dir / "real/gone.html", dir / "gone/page.html"}) {
    EXPECT_EQ(resolver.resolve(path), resolved_path(path)) << path;
  }
  EXPECT_EQ(resolver.resolve(dir / "via/page.html"), resolver.resolve(dir / "real/page.html"));
  EXPECT_EQ(resolver.resolve(dir / "real/link.html"), resolved_path(dir / "real/sub/other.html"));
}

TEST(TemporaryNames, areHiddenAndRecognised) {
  EXPECT_TRUE(is_temporary_name(".page.html.qv-tmp-AbC123"));
  EXPECT_FALSE(is_temporary_name("page.html"));
  EXPECT_FALSE(is_temporary_name(".page.html.qv-tmp-"));
}

TEST(ApplicationFolder, endsWithASeparatorAndHoldsThisExecutable) {
  std::string folder = application_folder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(fs::exists(folder + "files_tests"));
}

}  // namespace
}  // namespace qv
