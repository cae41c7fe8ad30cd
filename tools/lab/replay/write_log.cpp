#include "tools/lab/replay/write_log.h"

#include <algorithm>
#include <array>
#include <limits>

namespace qv::lab {
namespace {

constexpr std::uint64_t kMagic = 0x6a736677736872ULL;
constexpr std::uint64_t kVersion = 1;
constexpr std::size_t kSuperSize = 28;  // magic, version, entry count (8 bytes each), sector size
constexpr std::size_t kEntryHeaderSize = 32;  // sector, sectors, flags, data length
constexpr std::uint64_t kReplayChunk = 1u << 20;

std::uint64_t little_endian(std::span<const char> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

std::string entry_error(std::size_t index, std::string_view what) {
  return "entry " + std::to_string(index) + ": " + std::string(what);
}

// Decodes entry `index` from its sector, which starts at byte `offset` of the log.
std::variant<LogEntry, std::string> parse_entry(std::span<const char> sector, std::size_t index,
                                                std::uint64_t offset) {
  LogEntry entry;
  entry.sector = little_endian(sector.subspan(0, 8));
  entry.sectors = little_endian(sector.subspan(8, 8));
  entry.flags = little_endian(sector.subspan(16, 8));
  const std::uint64_t data_length = little_endian(sector.subspan(24, 8));
  entry.data_offset = offset + sector.size();
  if (entry.has(EntryFlag::mark)) {
    if (data_length > sector.size() - kEntryHeaderSize)
      return entry_error(index, "mark name longer than its sector");
    entry.mark.assign(sector.data() + kEntryHeaderSize, data_length);
  }
  const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() / sector.size();
  if (entry.sectors >= limit || entry.sector >= limit - entry.sectors)
    return entry_error(index, "sector range out of bounds");
  return entry;
}

}  // namespace

std::variant<WriteLog, std::string> read_write_log(const LogRead& read) {
  std::array<char, kSuperSize> super{};
  if (!read(0, super)) return std::string("the log is shorter than its super block");
  const std::span<const char> bytes(super);
  if (little_endian(bytes.subspan(0, 8)) != kMagic)
    return std::string("not a write log (wrong magic number)");
  if (little_endian(bytes.subspan(8, 8)) != kVersion)
    return std::string("unknown write log version " +
                       std::to_string(little_endian(bytes.subspan(8, 8))));
  const std::uint64_t count = little_endian(bytes.subspan(16, 8));
  const std::uint64_t sector_size = little_endian(bytes.subspan(24, 4));
  if (sector_size < 512 || sector_size > 65536 || (sector_size & (sector_size - 1)) != 0)
    return std::string("bad sector size " + std::to_string(sector_size));

  WriteLog log;
  log.sector_size = static_cast<std::uint32_t>(sector_size);
  log.entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 20)));
  std::vector<char> sector(sector_size);
  std::uint64_t offset = sector_size;  // the entries start in the sector after the super block
  for (std::uint64_t i = 0; i < count; ++i) {
    const auto index = static_cast<std::size_t>(i);
    if (!read(offset, sector)) return entry_error(index, "the log ends before it");
    auto parsed = parse_entry(sector, index, offset);
    if (auto* error = std::get_if<std::string>(&parsed)) return std::move(*error);
    LogEntry& entry = log.entries.emplace_back(std::get<LogEntry>(std::move(parsed)));
    const std::uint64_t data = entry.has(EntryFlag::discard) ? 0 : entry.sectors * sector_size;
    if (data > std::numeric_limits<std::uint64_t>::max() - entry.data_offset)
      return entry_error(index, "data runs past the end of any log");
    offset = entry.data_offset + data;
    std::array<char, 1> last{};
    if (data > 0 && !read(offset - 1, last)) return entry_error(index, "the log ends in its data");
  }
  return log;
}

std::optional<std::string> replay(const WriteLog& log, const LogRead& read, std::size_t from,
                                  std::size_t to, const ReplayTarget& target) {
  if (from > to || to > log.entries.size())
    return "entries " + std::to_string(from) + " to " + std::to_string(to) + " not in a log of " +
           std::to_string(log.entries.size());
  std::vector<char> buffer;
  for (std::size_t i = from; i < to; ++i) {
    const LogEntry& entry = log.entries[i];
    const std::uint64_t start = entry.sector * log.sector_size;
    const std::uint64_t length = entry.sectors * log.sector_size;
    if (entry.has(EntryFlag::discard)) {
      if (!target.discard(start, length)) return entry_error(i, "the device refused the discard");
      continue;
    }
    for (std::uint64_t done = 0; done < length;) {
      const std::uint64_t chunk = std::min(kReplayChunk, length - done);
      buffer.resize(static_cast<std::size_t>(chunk));
      if (!read(entry.data_offset + done, buffer)) return entry_error(i, "cannot read its data");
      if (!target.write(start + done, std::string_view(buffer.data(), buffer.size())))
        return entry_error(i, "the device refused the write");
      done += chunk;
    }
  }
  return std::nullopt;
}

std::string flag_names(std::uint64_t flags) {
  static constexpr std::array<std::pair<EntryFlag, std::string_view>, 5> kNames{{
      {EntryFlag::flush, "flush"},
      {EntryFlag::fua, "fua"},
      {EntryFlag::discard, "discard"},
      {EntryFlag::mark, "mark"},
      {EntryFlag::metadata, "metadata"},
  }};
  std::string names;
  for (const auto& [flag, name] : kNames) {
    if ((flags & static_cast<std::uint64_t>(flag)) == 0) continue;
    if (!names.empty()) names += ',';
    names += name;
  }
  return names.empty() ? "write" : names;
}

}  // namespace qv::lab
