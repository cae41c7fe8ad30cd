#include "settings/profile.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using namespace std::string_literals;

std::optional<std::string> lookup(std::string_view text, std::string_view section,
                                  std::string_view key) {
  return Profile::parse(text).value(section, key);
}
std::optional<std::string> balise(const std::string& lines) {
  return lookup("[parametres]\n" + lines, "parametres", "balise");
}

TEST(ProfileSections, FirstHeaderMatchingWithoutCaseIsTheOnlyOneSearched) {
  EXPECT_EQ(lookup("[ PARAMETRES ] x]\nBalise=a", "parametres", "BALISE"), "a");
  EXPECT_EQ(lookup("[\tparametres \nbalise=a", "parametres", "balise"), "a");  // no ']'
  EXPECT_EQ(lookup("[p]\nk=a\n[q]\n[P]\nk=b\nj=c", "p", "k"), "a");
  EXPECT_EQ(lookup("[p]\n[P]\nj=c", "p", "j"), std::nullopt);
  EXPECT_EQ(lookup("k=a\n[p]", "p", "k"), std::nullopt);
  EXPECT_EQ(lookup("k=a\n[p]", "", "k"), std::nullopt);
}

TEST(ProfileKeys, FirstMatchWinsAndOnlyALeadingSemicolonComments) {
  EXPECT_EQ(balise("balise=a\nBALISE=b"), "a");
  EXPECT_EQ(balise("balise\nbalise=b"), std::nullopt);  // no '=': the default applies
  EXPECT_EQ(balise(" ;balise=a\nbalise=b"), "b");
  EXPECT_EQ(balise("balise=</body> ;x"), "</body> ;x");
  EXPECT_EQ(lookup("[p]\n#k=a", "p", "#k"), "a");
}

TEST(ProfileValues, TrimmedUnquotedSplitAtFirstEqualsAndCutAtNul) {
  EXPECT_EQ(balise(" balise \t= \t\"</html>\"\t "), "</html>");
  EXPECT_EQ(balise("balise='a b'"), "a b");
  EXPECT_EQ(balise("balise=\"a'"), "\"a'");
  EXPECT_EQ(balise("balise=\""), "\"");
  EXPECT_EQ(balise("balise=x=y"), "x=y");
  EXPECT_EQ(balise("balise=ab\0cd\nnext=n"s), "ab");
  EXPECT_EQ(lookup("[p]\nk=ab\0cd\nnext=n"s, "p", "next"), "n");
}

TEST(ProfileText, AnyLineEndAndByteOrderMarkIsUnderstood) {
  EXPECT_EQ(lookup("\r\n[p]\rx=1\r\n\r\ny=2\n\rz=3", "p", "z"), "3");
  EXPECT_EQ(lookup("\xEF\xBB\xBF[p]\nk=\xC3\xA9", "p", "k"), "\xC3\xA9");

  std::string utf16 = "\xFF\xFE"s;
  for (char c : "[p]\r\nk="s) utf16 += {c, '\0'};
  // U+00E9, U+1F600 as a surrogate pair, an unpaired high surrogate, 'z', an odd last byte.
  utf16 += "\xE9\x00\x3D\xD8\x00\xDE\x00\xD8z\0q"s;
  EXPECT_EQ(lookup(utf16, "p", "k"), "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz");
}

TEST(ProfileText, HostileInputIsParsedWhole) {
  std::string text;
  for (unsigned i = 0; i < 100000; ++i) text += static_cast<char>((i * 2654435761u) >> 24);
  for (int i = 0; i < 5000; ++i) text += "\n[s" + std::to_string(i) + "]\nk=" + std::to_string(i);
  text += "\n[p]\nk=" + std::string(1 << 20, 'x');
  const Profile profile = Profile::parse(text);
  EXPECT_EQ(profile.value("s4999", "k"), "4999");
  EXPECT_EQ(profile.value("p", "k")->size(), std::size_t{1} << 20);
}

TEST(ProfileText, IgnoredLinesAreListedWithTheirNumberAndWhy) {
  using enum IgnoredBecause;
  const Profile profile = Profile::parse(
      "; top\r\nbalise=a\r\n\r\n[parametres]\rverification\nBALISE = b\n"
      "balise=c\nverification=on\n[other]\nk=1\n[Parametres]\nbalise=d\n");
  const std::vector<IgnoredLine> expected{{2, before_any_section, 0},
                                          {5, no_equals, 0},
                                          {7, duplicate_key, 6},
                                          {8, duplicate_key, 5},
                                          {11, repeated_section, 4}};
  ASSERT_EQ(profile.ignored().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(profile.ignored()[i].line, expected[i].line) << i;
    EXPECT_EQ(profile.ignored()[i].reason, expected[i].reason) << i;
    EXPECT_EQ(profile.ignored()[i].winning_line, expected[i].winning_line) << i;
  }
  EXPECT_EQ(profile.value("parametres", "balise"), "b");
  EXPECT_EQ(profile.value("parametres", "verification"), std::nullopt);
}

TEST(GetPrivateProfileString, CopiesAtMostSizeMinusOneBytesThenNul) {
  const Profile profile = Profile::parse("[p]\nk=" + std::string(200, 'v'));
  std::string buffer(96, '#');
  EXPECT_EQ(get_private_profile_string(&profile, "p", "k", "d", buffer, 96), 95u);
  EXPECT_EQ(buffer, std::string(95, 'v') + '\0');
  EXPECT_EQ(get_private_profile_string(&profile, "p", "none", "dflt", buffer, 3), 2u);
  EXPECT_EQ(buffer.substr(0, 3), "df\0"s);
  EXPECT_EQ(get_private_profile_string(nullptr, "p", "k", "fb", buffer, 96), 2u);
  EXPECT_EQ(buffer.substr(0, 3), "fb\0"s);
  std::string untouched = "##";
  EXPECT_EQ(get_private_profile_string(&profile, "p", "k", "d", untouched, 0), 0u);
  EXPECT_EQ(untouched, "##");
}

}  // namespace
}  // namespace qv
