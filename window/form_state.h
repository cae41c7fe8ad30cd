#pragma once

#include <cstdint>
#include <string>

#include "engine/marker.h"

namespace qv {

// The fields of Form1 that more than one group of handlers uses. Page contents, the insertion
// text and the tag are bytes, taken as they are.
struct FormState {
  std::string text_file_path;       // the text file to insert, copied from Label3 by a load
  std::string insert_text;          // that file's content
  std::string file_text;            // the page in hand; replaced by the result of the insertion
  std::int64_t upgraded_count = 0;  // pages that received the text in the current run
  MarkerCheck verification_on = MarkerCheck::on;
  std::string tag_text;       // the text is inserted before the last occurrence of this
  std::string app_folder;     // folder of the executable, ending in a separator
  std::string settings_path;  // app_folder + "quorvane.ini"
  std::string web_folder;     // the left pane's folder, ending in a separator
};

}  // namespace qv
