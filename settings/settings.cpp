#include "settings/settings.h"

#include <exception>
#include <optional>
#include <variant>

#include "settings/profile.h"
#include "system/file_io.h"
#include "text/ascii.h"
#include "text/path.h"

namespace qv {
namespace {

constexpr std::size_t kValueBufferSize = 96;

// Reads one value through a fixed-size buffer, so an overlong value arrives cut to
// kValueBufferSize - 1 bytes, then removes the surrounding spaces.
std::string read_value(const Profile* profile, std::string_view key, std::string_view fallback) {
  std::string buffer(kValueBufferSize, '\0');
  get_private_profile_string(profile, kSettingsSection, key, fallback, buffer, kValueBufferSize);
  return std::string(trim(trim_nul(buffer)));
}

}  // namespace

std::string trim_nul(const std::string& s) { return s.substr(0, s.find('\0')); }

Settings settings_from_profile(std::string_view app_folder, const std::string* profile_text) {
  Settings settings;
  settings.app_folder = with_trailing_separator(app_folder);
  settings.settings_path = settings.app_folder + std::string(kSettingsFileName);

  std::optional<Profile> profile;
  if (profile_text != nullptr) profile = Profile::parse(*profile_text);
  const Profile* source = profile ? &*profile : nullptr;
  if (profile) {
    settings.file = SettingsFile::read;
    settings.ignored_lines = profile->ignored();
    auto source_of = [&profile](std::string_view key) {
      return profile->value(kSettingsSection, key) ? ValueSource::settings_file
                                                   : ValueSource::default_value;
    };
    settings.verification_source = source_of("verification");
    settings.tag_source = source_of("balise");
  }

  settings.verification_on =
      read_value(source, "verification", "on") == "on" ? MarkerCheck::on : MarkerCheck::off;
  settings.tag_text = read_value(source, "balise", "</body>");
  return settings;
}

Settings load_settings(std::string_view application_folder) {
  const std::string folder = with_trailing_separator(application_folder);
  const std::string path = folder + std::string(kSettingsFileName);
  Settings defaults = settings_from_profile(folder, nullptr);
  const std::variant<FileKind, IoError> kind = file_kind(path);
  if (const FileKind* found = std::get_if<FileKind>(&kind); found && *found == FileKind::missing)
    return defaults;
  if (const IoError* error = std::get_if<IoError>(&kind)) {
    defaults.file = SettingsFile::unreadable;
    defaults.read_error = *error;
    return defaults;
  }
  if (std::get<FileKind>(kind) != FileKind::regular) {
    const bool folder_of_that_name = std::get<FileKind>(kind) == FileKind::folder;
    defaults.file = SettingsFile::unreadable;
    defaults.read_error =
        IoError{path, folder_of_that_name ? "it is a folder" : "it is not a regular file"};
    return defaults;
  }
  try {
    std::string text;
    if (std::optional<IoError> error = read_file(path, text)) {
      defaults.file = SettingsFile::unreadable;
      defaults.read_error = std::move(error);
      return defaults;
    }
    return settings_from_profile(folder, &text);
  } catch (const std::exception&) {
    defaults.file = SettingsFile::unreadable;
    defaults.read_error = IoError{path, "not enough memory to read it"};
    return defaults;
  }
}

}  // namespace qv
