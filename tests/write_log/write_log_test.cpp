#include "tools/lab/replay/write_log.h"

#include <cstring>
#include <gtest/gtest.h>

namespace qv::lab {
namespace {

constexpr std::size_t kSector = 512;

void put_le(std::string& bytes, std::size_t at, std::uint64_t value, int size = 8) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// A log as the target writes it: super block, then each entry's sector and its data sectors.
class LogBuilder {
 public:
  LogBuilder() : bytes_(kSector, '\0') {}
  LogBuilder& entry(std::uint64_t sector, std::uint64_t sectors, std::uint64_t flags,
                    std::string data = {}, const std::string& mark = {}) {
    std::string header(kSector, '\0');
    put_le(header, 0, sector);
    put_le(header, 8, sectors);
    put_le(header, 16, flags);
    put_le(header, 24, mark.size());
    header.replace(32, mark.size(), mark);
    bytes_ += header;
    data.resize((flags & 4) != 0 ? 0 : sectors * kSector, '\0');
    bytes_ += data;
    ++count_;
    return *this;
  }
  std::string bytes() const {
    std::string log = bytes_;
    put_le(log, 0, 0x6a736677736872ULL);
    put_le(log, 8, 1);
    put_le(log, 16, count_);
    put_le(log, 24, kSector, 4);
    return log;
  }

 private:
  std::string bytes_;
  std::uint64_t count_ = 0;
};

LogRead reader_of(const std::string& log) {
  return [&log](std::uint64_t offset, std::span<char> out) {
    if (offset > log.size() || out.size() > log.size() - offset) return false;
    std::memcpy(out.data(), log.data() + offset, out.size());
    return true;
  };
}

ReplayTarget target_of(std::string& device) {
  return {[&device](std::uint64_t offset, std::string_view data) {
            if (offset + data.size() > device.size()) return false;
            device.replace(offset, data.size(), data);
            return true;
          },
          [&device](std::uint64_t offset, std::uint64_t length) {
            if (offset + length > device.size()) return false;
            device.replace(offset, length, length, '\0');
            return true;
          }};
}

std::string sectors_of(char fill, std::size_t count) { return std::string(count * kSector, fill); }

TEST(WriteLog, readsEveryEntryAndReplaysInStepsAsInOneGo) {
  const std::string log = LogBuilder()
                              .entry(2, 2, 0, sectors_of('A', 2))
                              .entry(0, 0, 1)
                              .entry(0, 0, 8, {}, "line-1")
                              .entry(2, 1, 4)
                              .entry(0, 1, 2 | 16, sectors_of('B', 1))
                              .bytes();
  auto read = read_write_log(reader_of(log));
  ASSERT_TRUE(std::holds_alternative<WriteLog>(read)) << std::get<std::string>(read);
  const WriteLog& parsed = std::get<WriteLog>(read);
  EXPECT_EQ(parsed.sector_size, kSector);
  ASSERT_EQ(parsed.entries.size(), 5u);
  EXPECT_EQ(parsed.entries[0].sector, 2u);
  EXPECT_EQ(parsed.entries[0].sectors, 2u);
  EXPECT_EQ(parsed.entries[2].mark, "line-1");
  EXPECT_TRUE(parsed.entries[3].has(EntryFlag::discard));
  EXPECT_EQ(flag_names(parsed.entries[4].flags), "fua,metadata");
  EXPECT_EQ(flag_names(parsed.entries[0].flags), "write");

  std::string stepped = sectors_of('z', 4);
  ASSERT_EQ(replay(parsed, reader_of(log), 0, 2, target_of(stepped)), std::nullopt);
  EXPECT_EQ(stepped, sectors_of('z', 2) + sectors_of('A', 2));
  ASSERT_EQ(replay(parsed, reader_of(log), 2, 5, target_of(stepped)), std::nullopt);
  EXPECT_EQ(stepped,
            sectors_of('B', 1) + sectors_of('z', 1) + sectors_of('\0', 1) + sectors_of('A', 1));
  std::string whole = sectors_of('z', 4);
  ASSERT_EQ(replay(parsed, reader_of(log), 0, 5, target_of(whole)), std::nullopt);
  EXPECT_EQ(whole, stepped);

  EXPECT_NE(replay(parsed, reader_of(log), 3, 6, target_of(whole)), std::nullopt);
  std::string small = sectors_of('z', 1);
  auto refused = replay(parsed, reader_of(log), 0, 1, target_of(small));
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(*refused, "entry 0: the device refused the write");
}

TEST(WriteLog, damagedLogsAreRefusedWithWhatIsWrong) {
  const std::string good = LogBuilder().entry(0, 0, 1).entry(1, 2, 0, sectors_of('A', 2)).bytes();
  auto error_of = [](const std::string& log) {
    auto read = read_write_log(reader_of(log));
    return std::holds_alternative<std::string>(read) ? std::get<std::string>(read) : "";
  };
  EXPECT_EQ(error_of(good), "");

  std::string bad_magic = good;
  bad_magic[0] ^= 1;
  EXPECT_EQ(error_of(bad_magic), "not a write log (wrong magic number)");
  std::string bad_size = good;
  put_le(bad_size, 24, 768, 4);
  EXPECT_EQ(error_of(bad_size), "bad sector size 768");
  EXPECT_EQ(error_of(good.substr(0, good.size() - 1)), "entry 1: the log ends in its data");
  EXPECT_EQ(error_of(good.substr(0, 2 * kSector)), "entry 1: the log ends before it");
  EXPECT_EQ(error_of(good.substr(0, 20)), "the log is shorter than its super block");

  std::string long_mark = LogBuilder().entry(0, 0, 8, {}, "m").bytes();
  put_le(long_mark, kSector + 24, kSector);
  EXPECT_EQ(error_of(long_mark), "entry 0: mark name longer than its sector");
  std::string huge = LogBuilder().entry(0, 0, 0).bytes();
  put_le(huge, kSector + 8, ~0ULL / 2);
  EXPECT_EQ(error_of(huge), "entry 0: sector range out of bounds");
}

}  // namespace
}  // namespace qv::lab
