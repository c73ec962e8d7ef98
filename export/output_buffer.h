// Encoded bytes in memory. Grows with realloc, so that the C callbacks of the
// encoders can append without exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace peelbox {

class OutputBuffer {
 public:
  OutputBuffer() = default;
  OutputBuffer(OutputBuffer&& other) noexcept { *this = std::move(other); }
  OutputBuffer& operator=(OutputBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  // False when the memory cannot be had; the buffer keeps what it held.
  bool Append(const uint8_t* bytes, size_t size) {
    if (size > capacity_ - size_) {
      size_t capacity = capacity_ < 4096 ? 4096 : capacity_;
      while (capacity - size_ < size) {
        if (capacity > SIZE_MAX / 2) return false;
        capacity *= 2;
      }
      void* grown = std::realloc(data_.get(), capacity);
      if (grown == nullptr) return false;
      data_.release();
      data_.reset(static_cast<uint8_t*>(grown));
      capacity_ = capacity;
    }
    if (size > 0) std::memcpy(data_.get() + size_, bytes, size);
    size_ += size;
    return true;
  }

  const uint8_t* data() const { return data_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t, void (*)(void*)> data_{nullptr, &std::free};
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace peelbox
