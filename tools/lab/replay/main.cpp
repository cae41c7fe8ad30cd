// qv-log-replay: reads the log that the device-mapper log-writes target keeps, lists its flush,
// FUA and mark points, replays a range of its entries onto a device or an image file, and sets
// numbered marks in a live log as lines arrive on its input. The power-cut suite of the lab
// guest drives it; see `qv-log-replay --help`.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <linux/dm-ioctl.h>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/lab/replay/write_log.h"

namespace {

constexpr std::string_view kUsage =
    "usage: qv-log-replay points LOG\n"
    "       qv-log-replay replay LOG DEVICE FROM TO\n"
    "       qv-log-replay mark DM_NAME PREFIX\n"
    "points: one line per flush, FUA or mark entry: 'AFTER FLAGS [NAME]', where AFTER is the\n"
    "  number of entries a replay applies to include it; the first line is 'entries COUNT'.\n"
    "replay: applies entries FROM to TO-1 to DEVICE (a block device or an image file), which\n"
    "  holds the state after entry FROM-1, then flushes it.\n"
    "mark: for each line read on standard input, sets the mark PREFIX-N (N counting lines from\n"
    "  1) in the log of the log-writes device DM_NAME, then copies the line to standard output.\n";

int fail(const std::string& message) {
  std::cerr << "qv-log-replay: " << message << "\n";
  return 1;
}

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

// A log file mapped whole into memory: the replay reads it many times over, at random.
class MappedLog {
 public:
  explicit MappedLog(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error_ = system_error(path);
      return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      error_ = system_error(path);
    } else if (info.st_size > 0) {
      size_ = static_cast<std::size_t>(info.st_size);
      void* data = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      if (data == MAP_FAILED) {
        error_ = system_error(path);
        size_ = 0;
      } else {
        data_ = static_cast<const char*>(data);
      }
    }
    ::close(fd);
  }
  ~MappedLog() {
    if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
  }
  MappedLog(const MappedLog&) = delete;
  MappedLog& operator=(const MappedLog&) = delete;

  const std::string& error() const { return error_; }
  qv::lab::LogRead reader() const {
    return [this](std::uint64_t offset, std::span<char> out) {
      if (offset > size_ || out.size() > size_ - offset) return false;
      std::memcpy(out.data(), data_ + offset, out.size());
      return true;
    };
  }

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  std::string error_;
};

bool parse_count(std::string_view text, std::size_t& value) {
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
  return code == std::errc() && end == text.data() + text.size();
}

bool write_all(int fd, std::uint64_t offset, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

int list_points(const std::string& log_path) {
  MappedLog mapped(log_path);
  if (!mapped.error().empty()) return fail(mapped.error());
  auto read = qv::lab::read_write_log(mapped.reader());
  if (auto* error = std::get_if<std::string>(&read)) return fail(log_path + ": " + *error);
  const auto& log = std::get<qv::lab::WriteLog>(read);
  std::cout << "entries " << log.entries.size() << "\n";
  for (std::size_t i = 0; i < log.entries.size(); ++i) {
    const qv::lab::LogEntry& entry = log.entries[i];
    using qv::lab::EntryFlag;
    if (!entry.has(EntryFlag::flush) && !entry.has(EntryFlag::fua) && !entry.has(EntryFlag::mark))
      continue;
    std::cout << i + 1 << " " << qv::lab::flag_names(entry.flags);
    if (entry.has(EntryFlag::mark)) std::cout << " " << entry.mark;
    std::cout << "\n";
  }
  return std::cout.flush() ? 0 : fail("cannot write the output");
}

int replay_range(const std::string& log_path, const std::string& device, std::size_t from,
                 std::size_t to) {
  MappedLog mapped(log_path);
  if (!mapped.error().empty()) return fail(mapped.error());
  auto read = qv::lab::read_write_log(mapped.reader());
  if (auto* error = std::get_if<std::string>(&read)) return fail(log_path + ": " + *error);
  const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return fail(system_error(device));
  const std::vector<char> zeros(1u << 20, '\0');
  const qv::lab::ReplayTarget target{
      [fd](std::uint64_t offset, std::string_view data) { return write_all(fd, offset, data); },
      [fd, &zeros](std::uint64_t offset, std::uint64_t length) {
        // Zeros rather than a real discard: what a discarded range reads back as is then fixed.
        for (std::uint64_t done = 0; done < length;) {
          const std::uint64_t chunk = std::min<std::uint64_t>(zeros.size(), length - done);
          if (!write_all(fd, offset + done, std::string_view(zeros.data(), chunk))) return false;
          done += chunk;
        }
        return true;
      }};
  std::optional<std::string> error =
      qv::lab::replay(std::get<qv::lab::WriteLog>(read), mapped.reader(), from, to, target);
  // On the device itself, not in this process's cache, before anything reads it another way.
  if (!error && ::fsync(fd) != 0) error = system_error(device);
  ::close(fd);
  return error ? fail(device + ": " + *error) : 0;
}

// Sends "mark NAME" to the log-writes device DM_NAME through the device-mapper control device.
bool send_mark(int control, const std::string& dm_name, const std::string& name) {
  const std::string message = "mark " + name;
  std::vector<char> buffer(sizeof(dm_ioctl) + sizeof(dm_target_msg) + message.size() + 8, '\0');
  auto* io = reinterpret_cast<dm_ioctl*>(buffer.data());
  io->version[0] = DM_VERSION_MAJOR;
  io->data_size = static_cast<std::uint32_t>(buffer.size());
  io->data_start = sizeof(dm_ioctl);
  std::strncpy(io->name, dm_name.c_str(), sizeof(io->name) - 1);
  auto* target_message = reinterpret_cast<dm_target_msg*>(buffer.data() + sizeof(dm_ioctl));
  std::memcpy(target_message->message, message.data(), message.size());
  return ::ioctl(control, DM_TARGET_MSG, io) == 0;
}

int mark_lines(const std::string& dm_name, const std::string& prefix) {
  const int control = ::open("/dev/mapper/control", O_RDWR | O_CLOEXEC);
  int status = control < 0 ? fail(system_error("/dev/mapper/control")) : 0;
  std::string line;
  for (std::size_t n = 1; std::getline(std::cin, line); ++n) {
    const std::string name = prefix + "-" + std::to_string(n);
    if (status == 0 && !send_mark(control, dm_name, name))
      status = fail(system_error("mark " + name + " on " + dm_name));
    // Copied even once marking has failed, so that the program writing the lines is not stopped.
    std::cout << line << std::endl;
  }
  if (control >= 0) ::close(control);
  return status;
}

int run(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.size() == 2 && args[0] == "points") return list_points(args[1]);
  std::size_t from = 0;
  std::size_t to = 0;
  if (args.size() == 5 && args[0] == "replay" && parse_count(args[3], from) &&
      parse_count(args[4], to))
    return replay_range(args[1], args[2], from, to);
  if (args.size() == 3 && args[0] == "mark") return mark_lines(args[1], args[2]);
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}
