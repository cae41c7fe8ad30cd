#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "run/form1.h"
#include "tests/support/batch_faults.h"
#include "tests/support/fake_controls.h"
#include "tests/support/page_assertions.h"
#include "tests/support/temp_folder.h"

namespace qv::testing {

// A started Form1 over doubles, with a site folder and a text folder in a fresh temporary folder.
class RunFixture : public ::testing::Test {
 protected:
  TempFolder dir;
  FakeWindow w;
  BatchFaults faults;  // arms faults and races in the runs' page loop
  Form1 form{w.controls(), &faults};
  std::string site = dir / "site";
  std::string texts = dir / "texts";

  void SetUp() override {
    std::filesystem::create_directory(site);
    std::filesystem::create_directory(texts);
    w.connect_form(form);
    w.platform.app_folder = dir.path() + "/";
    form.Form_Load();
  }

  // Writes a page into the site folder and returns its path.
  std::string page(std::string_view name, std::string_view content) {
    return dir.write("site/" + std::string(name), content);
  }
  std::string page_bytes(std::string_view name) { return dir.read("site/" + std::string(name)); }

  // Writes a text file and chooses it in the right pane, as a user does.
  void choose_text(std::string_view content, std::string_view name = "snippet.txt") {
    dir.write("texts/" + std::string(name), content);
    w.Dir2.set_path(texts);
    for (std::size_t i = 0; i < w.File2.list_count(); ++i)
      if (w.File2.list(i) == name) w.File2.click(i);
  }

  // Moves the left pane to the site folder and lists every page in it.
  void open_site(std::string_view pattern = "*.html") {
    w.Dir1.set_path(site);
    w.masque.set_text(pattern);
  }

  // The prompts of the message boxes shown so far, in order.
  std::vector<std::string> prompts() const {
    std::vector<std::string> texts_shown;
    for (const auto& box : w.message_box.shown) texts_shown.push_back(box.prompt);
    return texts_shown;
  }
};

}  // namespace qv::testing
