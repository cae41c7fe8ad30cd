#include "text/temporary_name.h"

#include <atomic>
#include <charconv>
#include <random>

namespace qv {
namespace {

bool is_alphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A number written in 1 to 16 lower-case hex digits, the whole of `text`.
template <typename Number>
std::optional<Number> hex_number(std::string_view text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

template <typename Number>
std::string hex(Number value) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value, 16);
  return std::string(digits, end);
}

// What follows the prefix: the random part, then "-machine-process-created" (or nothing, in an
// earlier version's name). None when the rest is not of that form.
std::optional<std::optional<TemporaryOwner>> parse_rest(std::string_view rest) {
  using detail::kTemporaryRandomLength;
  if (rest.size() < kTemporaryRandomLength) return std::nullopt;
  for (char c : rest.substr(0, kTemporaryRandomLength))
    if (!is_alphanumeric(c)) return std::nullopt;
  rest.remove_prefix(kTemporaryRandomLength);
  if (rest.empty()) return std::optional<TemporaryOwner>();
  std::string_view fields[3];
  for (std::string_view& field : fields) {
    if (rest.empty() || rest.front() != '-') return std::nullopt;
    rest.remove_prefix(1);
    field = rest.substr(0, rest.find('-'));
    rest.remove_prefix(field.size());
  }
  if (!rest.empty() || fields[0].size() != 16 || !hex_number<std::uint64_t>(fields[0]))
    return std::nullopt;
  const auto process = hex_number<std::uint64_t>(fields[1]);
  const auto created = hex_number<std::int64_t>(fields[2]);
  if (!process || !created) return std::nullopt;
  return std::optional<TemporaryOwner>(TemporaryOwner{std::string(fields[0]), *process, *created});
}

std::optional<std::optional<TemporaryOwner>> parse(std::string_view name) {
  for (std::string_view prefix : {detail::kTemporaryPrefix, detail::kIntentPrefix})
    if (name.starts_with(prefix)) return parse_rest(name.substr(prefix.size()));
  return std::nullopt;
}

}  // namespace

namespace detail {

std::string new_temporary_name(const TemporaryOwner& owner) {
  static std::atomic<std::uint64_t> state = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  // One step of splitmix64: distinct states give distinct, well-spread outputs.
  std::uint64_t x = state.fetch_add(0x9E3779B97F4A7C15ull) + 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  static constexpr std::string_view kAlphabet =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string name(kTemporaryPrefix);
  for (std::size_t i = 0; i < kTemporaryRandomLength; ++i, x /= kAlphabet.size())
    name += kAlphabet[static_cast<std::size_t>(x % kAlphabet.size())];
  return name + "-" + owner.machine + "-" + hex(owner.process) + "-" +
         hex(owner.created < 0 ? 0 : owner.created);
}

}  // namespace detail

bool is_temporary_name(std::string_view name) {
  return name.starts_with(detail::kTemporaryPrefix) && parse(name).has_value();
}

bool is_intent_name(std::string_view name) {
  return name.starts_with(detail::kIntentPrefix) && parse(name).has_value();
}

std::optional<TemporaryOwner> owner_of(std::string_view name) {
  auto parsed = parse(name);
  return parsed ? *parsed : std::nullopt;
}

std::string intent_name_for(std::string_view temporary_name) {
  return std::string(detail::kIntentPrefix) +
         std::string(temporary_name.substr(detail::kTemporaryPrefix.size()));
}

std::string temporary_name_for(std::string_view intent_name) {
  return std::string(detail::kTemporaryPrefix) +
         std::string(intent_name.substr(detail::kIntentPrefix.size()));
}

std::string intent_text(std::string_view page_name) {
  return std::to_string(page_name.size()) + ":" + std::string(page_name) + "\n";
}

std::optional<std::string> page_of_intent(std::string_view text) {
  const std::size_t colon = text.find(':');
  std::size_t length = 0;
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + colon, length);
  if (error != std::errc{} || end != text.data() + colon) return std::nullopt;
  if (text.size() != colon + 1 + length + 1 || text.back() != '\n' || length == 0)
    return std::nullopt;
  return std::string(text.substr(colon + 1, length));
}

bool owner_is_gone(const TemporaryOwner& owner, const TemporaryOwner& self, bool shared,
                   bool process_alive, std::int64_t now, std::int64_t lease_seconds) {
  if (owner.machine == self.machine) return owner.process != self.process && !process_alive;
  return !shared || now - owner.created > lease_seconds;
}

}  // namespace qv
