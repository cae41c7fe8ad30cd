#include <filesystem>
#include <gtest/gtest.h>

#include "files/folder_listing.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"
#include "text/file_pattern.h"
#include "text/path.h"

namespace qv {
namespace {

using testing::try_symlink;

using Names = std::vector<std::string>;

TEST(Pattern, wildcardsMatchAnyRunOrOneCharacterIgnoringCase) {
  EXPECT_TRUE(matches_pattern("framec12.html", "framec*.html"));
  EXPECT_TRUE(matches_pattern("FRAMEC.HTML", "framec*.html"));
  EXPECT_FALSE(matches_pattern("framec1.htm", "framec*.html"));
  EXPECT_FALSE(matches_pattern("xframec1.html", "framec*.html"));
  EXPECT_TRUE(matches_pattern("a1.htm", "a?.htm"));
  EXPECT_FALSE(matches_pattern("a.htm", "a?.htm"));
  EXPECT_TRUE(matches_pattern("page.html", "page.html"));
}

TEST(Pattern, questionMarkIsOneUtf8CharacterAndCaseFoldsBeyondAscii) {
  EXPECT_TRUE(matches_pattern("caf\xC3\xA9.html", "caf?.html"));  // café
  EXPECT_FALSE(matches_pattern("caf\xC3\xA9.html", "caf??.html"));
  EXPECT_TRUE(matches_pattern("\xC3\xA9t\xC3\xA9.html", "\xC3\x89T\xC3\x89.HTML"));  // été, ÉTÉ
  EXPECT_TRUE(matches_pattern("\xCF\x83\xCF\x82.htm", "\xCE\xA3?.HTM"));             // σς, Σ?
  EXPECT_TRUE(matches_pattern("\xE2\x84\xAA.htm", "k.htm"));                         // Kelvin sign
  EXPECT_FALSE(matches_pattern("\xC3\x9F.htm", "s.htm"));                            // ß is not s
  // A byte outside any UTF-8 sequence is one character, equal only to itself.
  EXPECT_TRUE(matches_pattern("caf\xE9.html", "caf?.html"));
  EXPECT_TRUE(matches_pattern("caf\xE9.html", "*\xE9*"));
  EXPECT_FALSE(matches_pattern("caf\xE9.html", "*\xC9*"));
  EXPECT_TRUE(matches_pattern("*x.b", "*.b"));  // a '*' in a name is no wildcard
}

TEST(Pattern, realNamesOnlySoHtmDoesNotMatchHtml) {
  EXPECT_FALSE(matches_pattern("index.html", "*.htm"));
}

TEST(Pattern, severalPatternsSeparatedBySemicolons) {
  EXPECT_TRUE(matches_pattern("a.html", "*.htm; *.html"));
  EXPECT_TRUE(matches_pattern("a.htm", " *.htm ;*.html"));
  EXPECT_FALSE(matches_pattern("a.txt", "*.htm;*.html"));
}

TEST(Pattern, starDotStarMatchesEveryNameAndEmptyMatchesNone) {
  EXPECT_TRUE(matches_pattern("README", "*.*"));
  EXPECT_TRUE(matches_pattern("a.b.c", "*.*"));
  EXPECT_FALSE(matches_pattern("a.html", ""));
  EXPECT_FALSE(matches_pattern("a.html", " ; "));
}

TEST(Pattern, manyStarsStayFast) {
  std::string name(5000, 'a');
  EXPECT_FALSE(matches_pattern(name, "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(FolderJoin, addsASeparatorOnlyWhenMissing) {
#ifdef _WIN32
  EXPECT_EQ(folder_join("c:\\site", "a.html"), "c:\\site\\a.html");
  EXPECT_EQ(folder_join("c:/site/", "a.html"), "c:/site/a.html");
  EXPECT_EQ(with_trailing_separator("c:\\"), "c:\\");
  EXPECT_EQ(folder_of("c:\\site/a.html"), "c:\\site/");
  EXPECT_EQ(folder_of("a.html"), ".");
#else
  EXPECT_EQ(folder_join("/site", "a.html"), "/site/a.html");
  EXPECT_EQ(folder_join("/site/", "a.html"), "/site/a.html");
  EXPECT_EQ(folder_join("/", "a.html"), "/a.html");
  EXPECT_EQ(with_trailing_separator("/"), "/");
  EXPECT_EQ(folder_of("/site/a.html"), "/site/");
  EXPECT_EQ(folder_of("/a.html"), "/");
  EXPECT_EQ(folder_of("a\\b.html"), ".");  // a backslash is part of a name here
#endif
}

TEST(NormalPath, resolvesDotsByTheTextAlone) {
#ifndef _WIN32
  EXPECT_EQ(normal_path("/a/./b//../c/"), "/a/c");
  EXPECT_EQ(normal_path("/../a/.."), "/");
#else
  EXPECT_EQ(normal_path("C:/a/./b\\\\..\\c\\"), "C:\\a\\c");
  EXPECT_EQ(normal_path("C:\\..\\a\\.."), "C:\\");
  EXPECT_EQ(normal_path("\\\\server\\share\\x\\.."), "\\\\server\\share");
#endif
  EXPECT_EQ(normal_path("a/../../b"), std::string("..") + kFolderSeparator + "b");
  EXPECT_EQ(normal_path("a/.."), ".");
}

TEST(ListFiles, matchingFilesOnlyInCaseInsensitiveOrderWithoutHiddenOrFolders) {
  testing::TempFolder dir;
  for (const char* name : {"b.html", "A.html", "c.HTML", ".hidden.html", "d.txt", "a.htm"})
    dir.write(name, "x");
  std::filesystem::create_directory(dir / "sub.html");
  EXPECT_EQ(list_files(dir.path(), "*.html"), (Names{"A.html", "b.html", "c.HTML"}));
  EXPECT_EQ(list_files(dir.path(), "*.*"), (Names{"a.htm", "A.html", "b.html", "c.HTML", "d.txt"}));
  EXPECT_EQ(list_subfolders(dir.path()), Names{"sub.html"});
  EXPECT_TRUE(list_files(dir / "missing", "*.*").empty());
}

TEST(ListFiles, linksCountAsWhatTheyLeadToAndNamesEqualButForCaseFollowTheirBytes) {
  testing::TempFolder dir;
  for (const char* name : {"ab.html", "a.html", "Ab.html", "A.html", "AB.html"})
    dir.write(name, "x");
  std::filesystem::create_directory(dir / "folder");
  if (!try_symlink("a.html", dir / "to-page.html")) GTEST_SKIP() << "no symbolic links here";
  try_symlink("missing.html", dir / "dead.html");
  try_symlink("folder", dir / "to-folder", true);
  EXPECT_EQ(list_files(dir.path(), "*.html"),
            (Names{"A.html", "a.html", "AB.html", "Ab.html", "ab.html", "to-page.html"}));
  EXPECT_EQ(list_subfolders(dir.path()), (Names{"folder", "to-folder"}));
}

#ifndef _WIN32  // folder permissions for another user are POSIX's
TEST(ListFolderPages, walksVisibleRealSubfoldersAndReportsTheOnesItCannotOpen) {
  testing::TempFolder dir;
  dir.write("a.html", "x");
  for (const char* folder : {"sub", "sub/.hidden", "locked"})
    std::filesystem::create_directory(dir / folder);
  dir.write("sub/b.html", "x");
  dir.write("sub/.hidden/c.html", "x");
  try_symlink("sub", dir / "link", true);
  testing::open_to_everyone(dir.path());
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
  const int outcome = testing::run_unprivileged([&] {
    Names unlistable;
    const Names pages =
        list_folder_pages(dir.path(), "*.html", Recursion::into_subfolders,
                          [&](const IoError& error) { unlistable.push_back(error.path); });
    const bool right = pages == Names{dir / "a.html", dir / "sub/b.html"} &&
                       unlistable == Names{dir / "locked"} &&
                       list_folder_pages(dir.path(), "*.html", Recursion::top_folder_only) ==
                           Names{dir / "a.html"};
    return right ? 0 : 1;
  });
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(std::get<PathKind>(path_kind(dir / "sub")), PathKind::folder);
  EXPECT_TRUE(std::holds_alternative<IoError>(path_kind(dir / "missing")));
}
#endif

}  // namespace
}  // namespace qv
