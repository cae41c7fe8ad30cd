// The control table and the folder navigation behind the folder lists.
#include <algorithm>
#include <gtest/gtest.h>
#include <set>

#include "text/path.h"
#include "window/control_table.h"
#include "window/folder_navigation.h"

namespace qv {
namespace {

TEST(ControlTable, namesAreUniqueAndTabIndicesRunFromZeroWithoutGaps) {
  std::set<std::string_view> names;
  std::vector<int> tabs;
  for (const ControlSpec& row : control_table()) {
    names.insert(row.name);
    tabs.push_back(row.tab_index);
  }
  EXPECT_EQ(names.size(), control_table().size());
  std::sort(tabs.begin(), tabs.end());
  for (std::size_t i = 0; i < tabs.size(); ++i) EXPECT_EQ(tabs[i], static_cast<int>(i));
}

TEST(ControlTable, onlyTheRunButtonsTheTextBoxAndTheCountLieBeyondTheClientArea) {
  std::set<std::string_view> beyond;
  for (const ControlSpec& row : control_table()) {
    if (row.left >= kClientWidthTwips) {
      beyond.insert(row.name);
    } else {
      EXPECT_LE(row.left + row.width, kClientWidthTwips) << row.name;
      EXPECT_LE(row.top + row.height, kClientHeightTwips) << row.name;
    }
  }
  EXPECT_EQ(beyond, (std::set<std::string_view>{"Command1", "Command2", "Text1", "Label5"}));
  EXPECT_EQ(twips_to_pixels(kClientWidthTwips), 506);
  EXPECT_EQ(twips_to_pixels(kClientHeightTwips), 488);
}

TEST(ControlTable, findsEachControlTheHandlersUse) {
  for (const char* name :
       {"Drive1", "Dir1", "File1", "Drive2", "Dir2", "File2", "masque", "Text1", "Label2", "Label3",
        "Label5", "Command1", "Command2", "Command3", "Command4", "Command5"})
    EXPECT_NE(find_control(name), nullptr) << name;
  EXPECT_EQ(find_control("File1")->text, "framec*.html");
  EXPECT_EQ(find_control("masque")->text, "framec*.htm");
  EXPECT_EQ(find_control("Nothing"), nullptr);
}

#ifndef _WIN32
TEST(FolderNavigation, normalFoldersAndTheirChains) {
  EXPECT_EQ(normal_folder("/a/b/../c/"), "/a/c");
  EXPECT_EQ(normal_folder("/a/./b//"), "/a/b");
  EXPECT_EQ(normal_folder("/"), "/");
  EXPECT_EQ(folder_chain("/"), std::vector<std::string>{"/"});
  EXPECT_EQ(folder_chain("/a/bc/d"), (std::vector<std::string>{"/", "/a", "/a/bc", "/a/bc/d"}));
}
#else
TEST(FolderNavigation, chainsStartAtTheDrivesRoot) {
  EXPECT_EQ(folder_chain("C:\\"), std::vector<std::string>{"C:\\"});
  EXPECT_EQ(folder_chain("C:\\a\\b"), (std::vector<std::string>{"C:\\", "C:\\a", "C:\\a\\b"}));
}
#endif

// `path` with the platform's folder separator.
std::string native(std::string path) {
  std::replace(path.begin(), path.end(), '/', kFolderSeparator);
  return path;
}

TEST(FolderNavigation, eachDriveRemembersTheLastFolderVisitedOnIt) {
  DriveFolders drives({native("/"), native("/media/usb")});
  EXPECT_EQ(drives.drive_of(native("/media/usb/docs")), native("/media/usb"));
  EXPECT_EQ(drives.drive_of(native("/media/usbkey")), native("/"));
  EXPECT_EQ(drives.current_folder(native("/media/usb")), native("/media/usb"));

  drives.visited(native("/home/me/site"));
  drives.visited(native("/media/usb/docs"));
  EXPECT_EQ(drives.current_folder(native("/")), native("/home/me/site"));
  EXPECT_EQ(drives.current_folder(native("/media/usb")), native("/media/usb/docs"));

  drives.set_drives({native("/")});  // the stick is gone: its folders now belong to the root
  EXPECT_FALSE(drives.is_drive(native("/media/usb")));
  EXPECT_EQ(drives.current_folder(native("/")), native("/home/me/site"));
  drives.visited(native("/media/usb/docs"));
  EXPECT_EQ(drives.current_folder(native("/")), native("/media/usb/docs"));
}

}  // namespace
}  // namespace qv
