#pragma once

// The log that the device-mapper log-writes target keeps of every write that reached a device:
// a super block, then entries in the order the writes became durable, each with the data it
// wrote. Read here from bytes (through a read callback), so that a test can feed it a log built
// in memory; nothing here touches the operating system.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qv::lab {

// The flags of an entry, as the target sets them.
enum class EntryFlag : std::uint64_t {
  flush = 1,     // a cache flush: every write logged before it is on stable storage
  fua = 2,       // a write that bypassed the cache (forced unit access)
  discard = 4,   // a discard of its sectors; no data follows the entry
  mark = 8,      // a mark set from user space; its name is in the entry's sector
  metadata = 16  // a write the file system tagged as metadata
};

// One entry of the log.
struct LogEntry {
  std::uint64_t sector = 0;       // first device sector written, in the log's sector size
  std::uint64_t sectors = 0;      // sectors written or discarded
  std::uint64_t flags = 0;        // EntryFlag bits
  std::string mark;               // the mark's name, for a mark entry
  std::uint64_t data_offset = 0;  // where its data starts in the log, in bytes

  // True when the entry carries `flag`.
  bool has(EntryFlag flag) const { return (flags & static_cast<std::uint64_t>(flag)) != 0; }
};

// A log's layout: its sector size and its entries, in log order.
struct WriteLog {
  std::uint32_t sector_size = 0;
  std::vector<LogEntry> entries;
};

// Fills `out` with the log's bytes at `offset`; false when the log holds fewer.
using LogRead = std::function<bool(std::uint64_t offset, std::span<char> out)>;

// Where replayed entries land: a write of bytes at a byte offset, and a discard of a byte range
// (left reading as zeros). Each returns false when the device refuses it.
struct ReplayTarget {
  std::function<bool(std::uint64_t offset, std::string_view data)> write;
  std::function<bool(std::uint64_t offset, std::uint64_t length)> discard;
};

// Reads the super block and every entry's header; the error names what is wrong and where.
std::variant<WriteLog, std::string> read_write_log(const LogRead& read);

// Applies entries [from, to) of `log` to `target`, reading their data through `read`: the
// device then holds what it held after entry to - 1 had reached stable storage, given that it
// held the state after entry from - 1 before. The error names the entry that failed.
std::optional<std::string> replay(const WriteLog& log, const LogRead& read, std::size_t from,
                                  std::size_t to, const ReplayTarget& target);

// The entry's flags as words ("flush", "fua", "discard", "mark", "metadata"), joined by ','.
std::string flag_names(std::uint64_t flags);

}  // namespace qv::lab
