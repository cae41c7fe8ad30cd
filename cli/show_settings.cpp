#include "cli/show_settings.h"

#include <string>
#include <string_view>

#include "cli/report.h"

namespace qv::cli {
namespace {

std::string why(const IgnoredLine& ignored) {
  const std::string winner = std::to_string(ignored.winning_line);
  switch (ignored.reason) {
    case IgnoredBecause::before_any_section:
      return "before any [section]";
    case IgnoredBecause::no_equals:
      return "no '=' (it gives no value, and hides a later line of the same key)";
    case IgnoredBecause::duplicate_key:
      return "duplicated key (line " + winner + " is the one read)";
    case IgnoredBecause::repeated_section:
      return "repeated section, nothing under it is read (line " + winner + " is the one read)";
  }
  return {};
}

std::string origin(std::string_view option, ValueSource source) {
  if (!option.empty()) return "from " + std::string(option);
  return source == ValueSource::settings_file ? "from the settings file" : "default";
}

}  // namespace

void show_settings(const Options& options, const Settings& settings, std::FILE* out) {
  std::string report = "settings file: " + printable(settings.settings_path) + "\n";
  switch (settings.file) {
    case SettingsFile::missing:
      report += "not found; the defaults apply\n";
      break;
    case SettingsFile::read:
      report += "read\n";
      break;
    case SettingsFile::unreadable:
      report += "cannot be read: " + printable(settings.read_error->reason) +
                "; runs are refused until it can\n";
      break;
  }

  const MarkerCheck check = options.marker_check.value_or(settings.verification_on);
  std::string_view check_option;
  if (options.marker_check) check_option = check == MarkerCheck::on ? "--verify" : "--no-verify";
  report += "marker check (verification): " + std::string(check == MarkerCheck::on ? "on" : "off") +
            " (" + origin(check_option, settings.verification_source) + ")\n";

  const std::string& tag = options.tag ? *options.tag : settings.tag_text;
  report += "tag (balise): \"" + printable(tag) + "\" (" +
            origin(options.tag ? "--tag" : "", settings.tag_source) +
            (tag.empty() ? "; empty, so runs are refused" : "") + ")\n";

  for (const IgnoredLine& ignored : settings.ignored_lines)
    report += "line " + std::to_string(ignored.line) + " ignored: " + why(ignored) + "\n";
  std::fwrite(report.data(), 1, report.size(), out);
}

}  // namespace qv::cli
