#pragma once

#include <cstddef>
#include <string_view>

namespace qv {

// Growable storage for the bytes of one page at a time, starting on a memory-page boundary.
// Copies from the system's file cache into memory that starts a few bytes past such a boundary
// (where the general allocator puts large blocks) run several times slower on some processors, so
// pages are read into this rather than into a std::string.
class PageBuffer {
 public:
  PageBuffer() = default;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  ~PageBuffer();

  // Makes the buffer `size` bytes long, keeping the bytes it held up to that length; bytes
  // beyond them are unspecified until written.
  void resize(std::size_t size);
  // Appends `count` bytes from `bytes`.
  void append(const char* bytes, std::size_t count);
  void clear() { size_ = 0; }

  char* data() { return bytes_; }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {bytes_, size_}; }

 private:
  char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace qv
