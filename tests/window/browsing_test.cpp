// The browsing handlers through the control doubles: how the two panes, the path labels and the
// pattern box keep in step, start-up, and the End button.
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/support/fake_controls.h"
#include "tests/support/temp_folder.h"
#include "text/path.h"
#include "window/browsing_panes.h"
#include "window/form_events.h"

namespace qv::testing {
namespace {

// The browsing handlers alone behind the control doubles; the run's handlers do nothing here.
class BrowsingForm : public FormEvents {
 public:
  explicit BrowsingForm(const Controls& controls) : panes_(controls, state_) {}
  void Form_Load() override { panes_.Form_Load(); }
  void Command1_Click() override {}
  void Command2_Click() override {}
  void Command3_Click() override {}
  void Command4_Click() override { panes_.Command4_Click(); }
  void Command5_Click() override { panes_.Command5_Click(); }
  void Dir1_Change() override { panes_.Dir1_Change(); }
  void Dir2_Change() override { panes_.Dir2_Change(); }
  void Drive1_Change() override { panes_.Drive1_Change(); }
  void Drive2_Change() override { panes_.Drive2_Change(); }
  void File1_Click() override { panes_.File1_Click(); }
  void File2_Click() override { panes_.File2_Click(); }
  void masque_Change() override { panes_.masque_Change(); }
  bool Form_QueryUnload() override { return true; }
  const FormState& state() const { return state_; }

 private:
  FormState state_;
  BrowsingPanes panes_;
};

class Browsing : public ::testing::Test {
 protected:
  TempFolder dir;
  FakeWindow w;
  BrowsingForm form{w.controls()};
  std::string site = dir / "site";
  std::string texts = dir / "texts";

  void SetUp() override {
    std::filesystem::create_directory(site);
    std::filesystem::create_directory(texts);
    for (const char* name :
         {"framec1.html", "framec2.html", "framec3.htm", "other.html", "notes.txt", "README"})
      dir.write("site/" + std::string(name), "</body>");
    dir.write("texts/snippet.txt", "<script>var quorvaneSite = 1;</script>");
    w.connect_form(form);
    w.platform.app_folder = dir.path() + "/";
  }

  static std::vector<std::string> names(const FakeFileList& list) { return list.names(); }
  static std::size_t index_of(const FakeFileList& list, std::string_view name) {
    auto it = std::find(list.names().begin(), list.names().end(), name);
    EXPECT_NE(it, list.names().end()) << name;
    return static_cast<std::size_t>(it - list.names().begin());
  }
};

using Names = std::vector<std::string>;

TEST_F(Browsing, loadClearsTheLabelsAndReadsTheSettingsBesideTheProgram) {
  dir.write("quorvane.ini", "[parametres]\nverification=off\nbalise=</html>\n");
  form.Form_Load();
  EXPECT_EQ(w.Label2.value, "");
  EXPECT_EQ(w.Label3.value, "");
  EXPECT_EQ(w.Label5.value, "");
  EXPECT_EQ(form.state().verification_on, MarkerCheck::off);
  EXPECT_EQ(form.state().tag_text, "</html>");
  EXPECT_EQ(form.state().settings_path, dir / "quorvane.ini");
}

TEST_F(Browsing, folderChangeListsItsPagesAndShowsItWithOneSeparator) {
  form.Form_Load();
  w.Dir1.set_path(site);
  EXPECT_EQ(w.File1.path(), site);
  // The list keeps its own pattern until the pattern box first changes.
  EXPECT_EQ(w.masque.value, "framec*.htm");
  EXPECT_EQ(names(w.File1), (Names{"framec1.html", "framec2.html"}));
  EXPECT_EQ(w.Label2.value, with_trailing_separator(site));
  EXPECT_EQ(form.state().web_folder, with_trailing_separator(site));

  w.Dir1.set_path("/");
  EXPECT_EQ(w.Label2.value, "/");
}

TEST_F(Browsing, driveChangeMovesTheFolderListAndLeavesThePathLabelEmpty) {
  form.Form_Load();
  w.Dir1.set_path(site);
  w.Drive1.choose(dir.path());
  EXPECT_EQ(w.Dir1.value, dir.path());
  EXPECT_EQ(w.File1.path(), dir.path());
  EXPECT_EQ(w.Label2.value, "");
}

TEST_F(Browsing, pageClickShowsItsPathAndNarrowsTheListToIt) {
  form.Form_Load();
  w.Dir1.set_path(site);
  w.File1.click(index_of(w.File1, "framec2.html"));
  EXPECT_EQ(w.Label2.value, folder_join(site, "framec2.html"));
  EXPECT_EQ(w.masque.value, "framec2.html");
  EXPECT_EQ(names(w.File1), Names{"framec2.html"});
  EXPECT_EQ(w.File1.file_name(), "");  // rebuilt, nothing selected
}

TEST_F(Browsing, patternBoxTrimmedOfSpacesBecomesTheListsPattern) {
  form.Form_Load();
  w.Dir1.set_path(site);
  w.masque.set_text("  framec*.htm ");
  EXPECT_EQ(w.File1.pattern(), "framec*.htm");
  EXPECT_EQ(names(w.File1), Names{"framec3.htm"});

  w.masque.set_text("*.txt;framec1*");
  EXPECT_EQ(names(w.File1), (Names{"framec1.html", "notes.txt"}));
}

TEST_F(Browsing, clearPatternListsEveryFileWhateverItsExtension) {
  form.Form_Load();
  w.Dir1.set_path(site);
  form.Command4_Click();
  EXPECT_EQ(w.masque.value, "*.*");
  EXPECT_EQ(names(w.File1), (Names{"framec1.html", "framec2.html", "framec3.htm", "notes.txt",
                                   "other.html", "README"}));
}

TEST_F(Browsing, rightPaneMovesDropTheChosenTextFile) {
  form.Form_Load();
  w.Dir2.set_path(texts);
  EXPECT_EQ(names(w.File2), Names{"snippet.txt"});
  w.File2.click(0);
  EXPECT_EQ(w.Label3.value, folder_join(texts, "snippet.txt"));

  w.Drive2.choose(dir.path());
  EXPECT_EQ(w.Label3.value, "");

  w.Dir2.set_path(texts);
  w.File2.click(0);
  w.Dir2.set_path(site);
  EXPECT_EQ(w.Label3.value, "");
}

TEST_F(Browsing, endEndsAtOnce) {
  form.Form_Load();
  EXPECT_THROW(form.Command5_Click(), ProgramEnded);
  EXPECT_TRUE(w.platform.ended);
  EXPECT_TRUE(w.message_box.shown.empty());
}

}  // namespace
}  // namespace qv::testing
