#include "text/temporary_name.h"

#include <atomic>
#include <cstdint>
#include <random>

namespace qv {

namespace detail {

std::string new_temporary_name() {
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
  return name;
}

}  // namespace detail

bool is_temporary_name(std::string_view name) {
  using detail::kTemporaryPrefix;
  if (name.size() != kTemporaryPrefix.size() + detail::kTemporaryRandomLength ||
      !name.starts_with(kTemporaryPrefix))
    return false;
  for (char c : name.substr(kTemporaryPrefix.size()))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

}  // namespace qv
