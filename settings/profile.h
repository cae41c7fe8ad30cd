#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Why the reader passed over a line of a profile.
enum class IgnoredBecause {
  before_any_section,  // a key line above the first "[section]" header
  no_equals,           // a line without '=': it names no value, yet hides a later line of its key
  duplicate_key,       // the key already appeared in this section; the first one is read
  repeated_section,    // a second header of a section: nothing under it is read
};

// A line that yields no value, counted from 1 (a CR LF, a lone CR or a lone LF ends a line).
struct IgnoredLine {
  std::size_t line;
  IgnoredBecause reason;
  std::size_t winning_line = 0;  // for a duplicate: the line of the key or header that is read
};

// The content of an INI-format profile, read the way Windows' private-profile reader reads it:
// sections in "[name]" lines, "key=value" lines below them, names compared without regard to
// case, the first matching section and the first matching key winning.
class Profile {
 public:
  // Parses profile text. Never fails: lines that mean nothing are skipped, and listed.
  static Profile parse(std::string_view text);

  // The lines that yield no value, in order; blank lines and ';' comments are not among them.
  const std::vector<IgnoredLine>& ignored() const { return ignored_; }

  // The cleaned value of `key` in `section`, or none when the section or key is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;

 private:
  struct Entry {
    std::string key;
    std::optional<std::string> value;  // none for a line without '='
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;
  std::vector<IgnoredLine> ignored_;
};

// Copies the value of `key` in `section` of `profile` (or `fallback` when the profile is null or
// the section or key is missing) into `buffer`, as Windows' GetPrivateProfileString does: at most
// `size` - 1 bytes, followed by a NUL. `buffer` must hold at least `size` bytes. Returns the
// number of bytes copied, NUL excluded.
std::size_t get_private_profile_string(const Profile* profile, std::string_view section,
                                       std::string_view key, std::string_view fallback,
                                       std::string& buffer, std::size_t size);

}  // namespace qv
