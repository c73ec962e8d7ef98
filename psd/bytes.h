// The bytes a block holds: a buffer of its own, or a view into the buffer of
// another block (the layer mask data and blending ranges are views into their
// record's extra data, never copies).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace peelbox {

class Bytes {
 public:
  Bytes() = default;
  Bytes(Bytes&& other) noexcept { *this = std::move(other); }
  Bytes& operator=(Bytes&& other) noexcept {
    owned_ = std::move(other.owned_);
    view_ = other.view_;
    size_ = other.size_;
    other.view_ = nullptr;
    other.size_ = 0;
    return *this;
  }

  // Allocates an owned, uninitialised buffer. False when the memory cannot be
  // had; the caller turns that into its own result code.
  bool Allocate(size_t size) {
    owned_.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    view_ = owned_.get();
    size_ = owned_ ? size : 0;
    return owned_ != nullptr;
  }

  // Enlarges an owned buffer to `size` bytes, keeping what it holds. False
  // when the memory cannot be had; the buffer then stays as it was.
  bool Grow(size_t size) {
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    if (!grown) return false;
    if (size_ > 0) std::memcpy(grown.get(), view_, size_ < size ? size_ : size);
    owned_ = std::move(grown);
    view_ = owned_.get();
    size_ = size;
    return true;
  }

  void Borrow(const uint8_t* view, size_t size) {
    owned_.reset();
    view_ = view;
    size_ = size;
  }

  void Reset() { Borrow(nullptr, 0); }

  // Keeps only the first `size` bytes in view (the buffer itself stays).
  void Shrink(size_t size) {
    if (size < size_) size_ = size;
  }

  const uint8_t* data() const { return view_; }
  uint8_t* writable() { return owned_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return view_ == nullptr; }
  bool borrowed() const { return view_ != nullptr && owned_ == nullptr; }

 private:
  std::unique_ptr<uint8_t[]> owned_;
  const uint8_t* view_ = nullptr;
  size_t size_ = 0;
};

}  // namespace peelbox
