#include "settings/profile.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "text/ascii.h"
#include "text/utf16.h"

namespace qv {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// Spaces and tabs, the blanks the profile reader trims around names and values.
constexpr std::string_view kBlanks = " \t";

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

// The value part of a "key=value" line: cut at a NUL, trimmed, and stripped of one pair of
// matching outer quotes.
std::string clean_value(std::string_view raw) {
  if (std::size_t nul = raw.find('\0'); nul != std::string_view::npos) raw = raw.substr(0, nul);
  raw = trim(raw, kBlanks);
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
    raw = raw.substr(1, raw.size() - 2);
  return std::string(raw);
}

}  // namespace

Profile Profile::parse(std::string_view text) {
  std::string decoded;
  if (text.starts_with(kUtf8Mark)) {
    text.remove_prefix(kUtf8Mark.size());
  } else if (text.starts_with(kUtf16LeMark)) {
    decoded = utf16le_to_utf8(text.substr(kUtf16LeMark.size()));
    text = decoded;
  }

  Profile profile;
  // Where the lines below the current header go: nowhere before the first header (keys there are
  // unreachable), nowhere under a repeated header (the first one is the only one searched).
  enum class Target { none_yet, section, repeated_section } target = Target::none_yet;
  std::unordered_map<std::string, std::size_t> header_lines;  // folded name -> first header line
  std::unordered_map<std::string, std::size_t> key_lines;     // in the current section
  auto ignore = [&profile](std::size_t line, IgnoredBecause reason, std::size_t winner = 0) {
    profile.ignored_.push_back(IgnoredLine{line, reason, winner});
  };

  std::size_t pos = 0;
  for (std::size_t number = 1; pos < text.size(); ++number) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim(text.substr(pos, end - pos), kBlanks);
    pos = (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? end + 2 : end + 1;

    if (line.empty()) continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = trim(name.substr(0, name.find(']')), kBlanks);
      const auto [first, is_new] = header_lines.try_emplace(folded(name), number);
      if (!is_new) {
        target = Target::repeated_section;
        ignore(number, IgnoredBecause::repeated_section, first->second);
        continue;
      }
      profile.sections_.push_back(Section{std::string(name), {}});
      key_lines.clear();
      target = Target::section;
      continue;
    }
    if (line.front() == ';' || target == Target::repeated_section) continue;
    if (target == Target::none_yet) {
      ignore(number, IgnoredBecause::before_any_section);
      continue;
    }

    const std::size_t equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? line : trim(line.substr(0, equals), kBlanks);
    const auto [first, is_new] = key_lines.try_emplace(folded(key), number);
    if (!is_new) {
      ignore(number, IgnoredBecause::duplicate_key, first->second);
      continue;
    }
    std::vector<Entry>& entries = profile.sections_.back().entries;
    if (equals == std::string_view::npos) {
      // Kept as a key without value: as the first match it hides a later line of the same key.
      ignore(number, IgnoredBecause::no_equals);
      entries.push_back(Entry{std::string(key), std::nullopt});
    } else {
      entries.push_back(Entry{std::string(key), clean_value(line.substr(equals + 1))});
    }
  }
  return profile;
}

std::optional<std::string> Profile::value(std::string_view section, std::string_view key) const {
  auto found_section = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) {
    return equal_ignoring_case(s.name, section);
  });
  if (found_section == sections_.end()) return std::nullopt;
  for (const Entry& entry : found_section->entries) {
    if (equal_ignoring_case(entry.key, key)) return entry.value;
  }
  return std::nullopt;
}

std::size_t get_private_profile_string(const Profile* profile, std::string_view section,
                                       std::string_view key, std::string_view fallback,
                                       std::string& buffer, std::size_t size) {
  size = std::min(size, buffer.size());
  if (size == 0) return 0;
  std::optional<std::string> found;
  if (profile != nullptr) found = profile->value(section, key);
  std::string_view chosen = found ? std::string_view(*found) : fallback;
  std::size_t copied = std::min(chosen.size(), size - 1);
  std::copy_n(chosen.begin(), copied, buffer.begin());
  buffer[copied] = '\0';
  return copied;
}

}  // namespace qv
