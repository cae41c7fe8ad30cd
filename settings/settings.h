#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/marker.h"
#include "settings/profile.h"
#include "system/file_io.h"

namespace qv {

// The file name of the settings, looked for in the executable's folder.
inline constexpr std::string_view kSettingsFileName = "quorvane.ini";

// The section of the settings file that holds the two values.
inline constexpr std::string_view kSettingsSection = "parametres";

// What became of the settings file.
enum class SettingsFile { missing, read, unreadable };
// Where a value in effect comes from.
enum class ValueSource { default_value, settings_file };

// The two settings of the tool and where they were looked for.
struct Settings {
  std::string app_folder;     // the executable's folder, ending in a separator
  std::string settings_path;  // app_folder followed by kSettingsFileName
  MarkerCheck verification_on = MarkerCheck::on;
  std::string tag_text = "</body>";
  // Set when the settings file exists but cannot be read (no permission, a folder, not a regular
  // file): the values above are then the defaults, and the user must be told.
  std::optional<IoError> read_error;
  SettingsFile file = SettingsFile::missing;
  ValueSource verification_source = ValueSource::default_value;
  ValueSource tag_source = ValueSource::default_value;
  std::vector<IgnoredLine> ignored_lines;  // the lines of the file that the reader passed over
};

// Returns the characters of `s` before its first NUL (all of `s` when it holds none).
std::string trim_nul(const std::string& s);

// Reads the settings from the profile text of a settings file; `profile_text` is null when there
// is no readable file, which gives the defaults (marker check on, tag "</body>").
Settings settings_from_profile(std::string_view app_folder, const std::string* profile_text);

// Finds "quorvane.ini" in `application_folder` and reads the settings from it. A missing file
// gives the defaults; so does one that exists but cannot be read, with `read_error` saying why.
// Only a regular file is opened (a FIFO would block). The file is never written.
Settings load_settings(std::string_view application_folder);

}  // namespace qv
