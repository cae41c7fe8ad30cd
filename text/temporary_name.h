#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The names of the temporary files that page rewrites create beside the pages, and of the intent
// records that stand beside a temporary file while its page is briefly missing (on file systems
// that cannot rename over a file).
namespace qv {

// Who made a temporary file: the machine and its current boot, the process, and when; enough for
// a run on any machine to tell a live run's file from a dead run's.
struct TemporaryOwner {
  std::string machine;        // 16 lower-case hex digits: the host, then the boot
  std::uint64_t process = 0;  // its process id
  std::int64_t created = 0;   // seconds since 1970, by the maker's clock
  friend bool operator==(const TemporaryOwner&, const TemporaryOwner&) = default;
};

// True when `name` is one of the temporary files that page rewrites create (and that a killed run
// may leave behind): a hidden name of bounded length, whatever the page's name. Names made by
// earlier versions (without their owner) count too.
bool is_temporary_name(std::string_view name);
// True when `name` is an intent record (see intent_name_for).
bool is_intent_name(std::string_view name);

// The owner written in a temporary name or intent name; none for a name without one.
std::optional<TemporaryOwner> owner_of(std::string_view name);

// The intent record that goes with the temporary file `temporary_name`, and back.
std::string intent_name_for(std::string_view temporary_name);
std::string temporary_name_for(std::string_view intent_name);

// An intent record's content: the name of the page whose place the temporary file takes, in a
// form whose end shows that it was written whole.
std::string intent_text(std::string_view page_name);
// The page name of a record read back; none when it was not written whole.
std::optional<std::string> page_of_intent(std::string_view text);

// Whether the maker `owner` of a file is gone, seen by the run `self` at `now` (seconds since
// 1970). `process_alive` says whether `owner`'s process runs on this machine, and is only asked
// when `owner` is of this machine and boot. On a file system that other machines may reach
// (`shared`), the maker of another machine or boot is given `lease_seconds` after the file's
// creation before its file counts as left behind; elsewhere it is gone at once.
bool owner_is_gone(const TemporaryOwner& owner, const TemporaryOwner& self, bool shared,
                   bool process_alive, std::int64_t now, std::int64_t lease_seconds);

namespace detail {

// Temporary files are named ".qv-tmp-", eight letters or digits, then their owner; intent records
// the same with ".qv-int-".
inline constexpr std::string_view kTemporaryPrefix = ".qv-tmp-";
inline constexpr std::string_view kIntentPrefix = ".qv-int-";
inline constexpr std::size_t kTemporaryRandomLength = 8;

// A fresh temporary name made by `owner`; successive calls in a process never repeat, and
// processes started together draw from different seeds.
std::string new_temporary_name(const TemporaryOwner& owner);

}  // namespace detail
}  // namespace qv
