#include "system/page_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qv {
namespace {

constexpr std::align_val_t kAlignment{4096};

}  // namespace

PageBuffer::~PageBuffer() {
  if (bytes_ != nullptr) ::operator delete(bytes_, kAlignment);
}

void PageBuffer::resize(std::size_t size) {
  if (size > capacity_) {
    // Grows geometrically, so that a file that keeps growing while it is read costs few moves.
    const std::size_t capacity = std::max(size, capacity_ + capacity_ / 2);
    char* bytes = static_cast<char*>(::operator new(capacity, kAlignment));
    if (size_ > 0) std::memcpy(bytes, bytes_, size_);
    if (bytes_ != nullptr) ::operator delete(bytes_, kAlignment);
    bytes_ = bytes;
    capacity_ = capacity;
  }
  size_ = size;
}

void PageBuffer::append(const char* bytes, std::size_t count) {
  if (count == 0) return;
  const std::size_t at = size_;
  resize(size_ + count);
  std::memcpy(bytes_ + at, bytes, count);
}

}  // namespace qv
