// Feeds the profile reader arbitrary settings files and lookups. Properties: parsing and lookups
// never crash; a value found is one line, cut at its first NUL; get_private_profile_string copies
// fewer bytes than the size it is given, ends them with a NUL and writes nothing beyond; and a
// "key=value" line gives its value trimmed of blanks and of one pair of matching quotes.
#include <algorithm>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

#include "fuzz/fuzz_check.h"
#include "settings/profile.h"

namespace {

using qv::Profile;

constexpr std::string_view kFallback = "fallback value";

// What the value of "k=<raw>" must be: cut at a NUL, blanks (space, tab) trimmed at both ends,
// then one pair of matching outer quotes removed.
std::string expected_value(std::string_view raw) {
  raw = raw.substr(0, raw.find('\0'));
  const std::size_t first = raw.find_first_not_of(" \t");
  raw = first == std::string_view::npos ? std::string_view() : raw.substr(first);
  raw = raw.substr(0, raw.find_last_not_of(" \t") + 1);
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
    raw = raw.substr(1, raw.size() - 2);
  return std::string(raw);
}

void check_copy(const Profile* profile, const std::string& section, const std::string& key,
                std::size_t size, std::size_t spare) {
  const std::optional<std::string> found =
      profile != nullptr ? profile->value(section, key) : std::nullopt;
  const std::string_view chosen = found ? std::string_view(*found) : kFallback;
  std::string buffer(size + spare, '#');
  const std::size_t copied =
      qv::get_private_profile_string(profile, section, key, kFallback, buffer, size);
  if (size == 0) {
    QV_FUZZ_CHECK(copied == 0);
    QV_FUZZ_CHECK(buffer == std::string(spare, '#'));
    return;
  }
  QV_FUZZ_CHECK(copied < size);
  QV_FUZZ_CHECK(copied == std::min(chosen.size(), size - 1));
  QV_FUZZ_CHECK(std::string_view(buffer).substr(0, copied) == chosen.substr(0, copied));
  QV_FUZZ_CHECK(buffer[copied] == '\0');
  QV_FUZZ_CHECK(buffer.find_first_not_of('#', copied + 1) == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto buffer_size = input.ConsumeIntegralInRange<std::size_t>(0, 200);
  const auto spare = input.ConsumeIntegralInRange<std::size_t>(0, 4);
  const std::string section = input.ConsumeRandomLengthString(24);
  const std::string key = input.ConsumeRandomLengthString(24);
  std::string raw = input.ConsumeRandomLengthString(200);
  const std::string text = input.ConsumeRemainingBytesAsString();

  const Profile profile = Profile::parse(text);
  if (const std::optional<std::string> found = profile.value(section, key))
    QV_FUZZ_CHECK(found->find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
  check_copy(&profile, section, key, buffer_size, spare);
  check_copy(nullptr, section, key, buffer_size, spare);

  // A line of our own, after a header of our own, in letter cases of our own.
  std::replace(raw.begin(), raw.end(), '\r', ' ');
  std::replace(raw.begin(), raw.end(), '\n', ' ');
  const Profile own = Profile::parse("[Fuzz]\nKey=" + raw + "\n");
  QV_FUZZ_CHECK(own.value("fUZZ", "kEY") == expected_value(raw));
  return 0;
}
