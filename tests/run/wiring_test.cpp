// The wiring every window shares (the Qt window, the Win32 window and these doubles run the same
// code): which handler each control's event raises, and the program's start over a binding.
#include <gtest/gtest.h>

#include "run/form_program.h"
#include "tests/support/fake_controls.h"
#include "tests/support/temp_folder.h"
#include "text/path.h"

namespace qv::testing {
namespace {

// Records the name of each handler raised.
class HandlerLog : public FormEvents {
 public:
  std::vector<std::string> raised;
  void Form_Load() override { raised.emplace_back(__func__); }
  void Command1_Click() override { raised.emplace_back(__func__); }
  void Command2_Click() override { raised.emplace_back(__func__); }
  void Command3_Click() override { raised.emplace_back(__func__); }
  void Command4_Click() override { raised.emplace_back(__func__); }
  void Command5_Click() override { raised.emplace_back(__func__); }
  void Dir1_Change() override { raised.emplace_back(__func__); }
  void Dir2_Change() override { raised.emplace_back(__func__); }
  void Drive1_Change() override { raised.emplace_back(__func__); }
  void Drive2_Change() override { raised.emplace_back(__func__); }
  void File1_Click() override { raised.emplace_back(__func__); }
  void File2_Click() override { raised.emplace_back(__func__); }
  void masque_Change() override { raised.emplace_back(__func__); }
  bool Form_QueryUnload() override {
    raised.emplace_back(__func__);
    return false;
  }
};

TEST(Wiring, eachControlsEventRaisesItsOwnHandlerThroughTheBinding) {
  FakeWindow w;
  HandlerLog log;
  w.Command1.press();  // nothing is wired before a form is connected
  w.connect_form(log);
  w.Command1.press();
  w.Command2.press();
  w.Command3.press();
  w.Command4.press();
  w.Command5.press();
  w.Drive1.choose("/a");
  w.Drive2.choose("/b");
  w.Dir1.set_path("/c");
  w.Dir2.set_path("/d");
  w.File1.click(0);
  w.File2.click(0);
  w.masque.set_text("*.htm");
  w.Text1.set_text("no handler");
  EXPECT_FALSE(w.query_unload());
  EXPECT_EQ(log.raised,
            (std::vector<std::string>{"Command1_Click", "Command2_Click", "Command3_Click",
                                      "Command4_Click", "Command5_Click", "Drive1_Change",
                                      "Drive2_Change", "Dir1_Change", "Dir2_Change", "File1_Click",
                                      "File2_Click", "masque_Change", "Form_QueryUnload"}));
  EXPECT_EQ(w.handlers_run, 13);  // every one through the binding's door
}

TEST(Wiring, programOpensBothPanesQuietlyThenLoadsTheFormAndEndsOnEnd) {
  TempFolder dir;
  dir.write("framec1.html", "</body>");
  dir.write("snippet.txt", "x");
  FakeWindow w;
  w.platform.app_folder = dir.path() + "/";
  FormProgram program(w);
  program.start(dir.path());

  // No change event before the load: the path labels stay as Form_Load leaves them, empty.
  EXPECT_EQ(w.Label2.value, "");
  EXPECT_EQ(w.Label3.value, "");
  EXPECT_EQ(w.File1.names(), std::vector<std::string>{"framec1.html"});
  EXPECT_EQ(w.File2.names(), std::vector<std::string>{"snippet.txt"});
  EXPECT_EQ(program.form().state().tag_text, "</body>");

  w.File2.click(0);
  EXPECT_EQ(w.Label3.value, folder_join(w.File2.path(), "snippet.txt"));
  EXPECT_THROW(w.Command5.press(), ProgramEnded);
}

}  // namespace
}  // namespace qv::testing
