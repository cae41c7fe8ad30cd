#include "settings/settings.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "text/path.h"

namespace qv {
namespace {

using namespace std::string_literals;

Settings from_lines(const std::string& lines) {
  const std::string text = "[parametres]\n" + lines;
  return settings_from_profile("/app", &text);
}

void expect_defaults(const Settings& s) {
  EXPECT_EQ(s.verification_on, MarkerCheck::on);
  EXPECT_EQ(s.tag_text, "</body>");
}

TEST(SettingsFromProfile, NoProfileGivesDefaultsAndOneSeparatorBeforeTheFileName) {
  expect_defaults(settings_from_profile("/app", nullptr));
  EXPECT_EQ(settings_from_profile("/app", nullptr).settings_path,
            folder_join("/app", "quorvane.ini"));
  EXPECT_EQ(settings_from_profile("/", nullptr).settings_path, "/quorvane.ini");
}

TEST(SettingsFromProfile, OnlyLowercaseOnKeepsTheCheckOn) {
  for (const char* on : {"on", "  on  ", "\ton\t", "'on'"})
    EXPECT_EQ(from_lines("verification="s + on).verification_on, MarkerCheck::on) << on;
  for (const char* off : {"ON", "On", "yes", "", "o n", "'\ton'"})
    EXPECT_EQ(from_lines("verification="s + off).verification_on, MarkerCheck::off) << off;
}

TEST(SettingsFromProfile, TagIsTheValueCutToNinetyFiveBytes) {
  EXPECT_EQ(from_lines("balise=</html>").tag_text, "</html>");
  EXPECT_EQ(from_lines("balise=").tag_text, "");
  EXPECT_EQ(from_lines("balise=\" \t</div> \"").tag_text, "\t</div>");
  EXPECT_EQ(from_lines("balise=" + std::string(200, 'a')).tag_text, std::string(95, 'a'));
  EXPECT_EQ(from_lines("balise=" + std::string(95, 'b')).tag_text, std::string(95, 'b'));
  EXPECT_EQ(from_lines("balise=" + std::string(96, 'c')).tag_text, std::string(95, 'c'));
}

TEST(LoadSettings, ReadsTheFileInTheApplicationFolderWithoutChangingIt) {
  testing::TempFolder folder;
  const std::string content = "[Parametres]\r\nverification=off\r\nbalise=</html>\r\n";
  folder.write("quorvane.ini", content);
  const Settings s = load_settings(folder.path());
  EXPECT_EQ(s.settings_path, folder_join(folder.path(), "quorvane.ini"));
  EXPECT_EQ(s.verification_on, MarkerCheck::off);
  EXPECT_EQ(s.tag_text, "</html>");
  EXPECT_EQ(folder.read("quorvane.ini"), content);
}

TEST(LoadSettings, MissingFileGivesDefaultsSilentlyAFolderInItsPlaceSaysSo) {
  testing::TempFolder folder;
  const Settings missing = load_settings(folder.path() + "/");
  expect_defaults(missing);
  EXPECT_FALSE(missing.read_error);
  EXPECT_FALSE(std::filesystem::exists(folder / "quorvane.ini"));
  std::filesystem::create_directory(folder / "quorvane.ini");
  const Settings folder_in_place = load_settings(folder.path());
  expect_defaults(folder_in_place);
  ASSERT_TRUE(folder_in_place.read_error);
  EXPECT_EQ(folder_in_place.read_error->path, folder_join(folder.path(), "quorvane.ini"));
  EXPECT_EQ(folder_in_place.read_error->reason, "it is a folder");
}

}  // namespace
}  // namespace qv
