#include "export/encoder_pool.h"

#include <utility>

#include "export/export_result.h"

namespace peelbox {

unsigned EncoderPool::DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

EncoderPool::EncoderPool(std::vector<size_t> layers, unsigned threads, Encode encode)
    : layers_(std::move(layers)), window_(threads > 0 ? threads : 1), encode_(std::move(encode)), slots_(layers_.size()) {
  if (window_ < 2) return;
  for (size_t i = 0; i < window_ && i < layers_.size(); ++i) workers_.emplace_back(&EncoderPool::Work, this);
}

EncoderPool::~EncoderPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void EncoderPool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Never more than `window_` layers beyond the one the job waits for.
    changed_.wait(lock, [&] {
      return stopping_ || nextToStart_ == layers_.size() || nextToStart_ < nextToTake_ + window_;
    });
    if (stopping_ || nextToStart_ == layers_.size()) return;
    const size_t index = nextToStart_++;
    lock.unlock();
    EncodedLayer encoded = encode_(layers_[index]);
    lock.lock();
    slots_[index].encoded = std::move(encoded);
    slots_[index].ready = true;
    changed_.notify_all();
  }
}

EncodedLayer EncoderPool::TakeNext() {
  std::unique_lock lock(mutex_);
  const size_t index = nextToTake_;
  if (index >= layers_.size()) return EncodedLayer{kWriteFailed, {}, {}};
  if (workers_.empty()) {
    ++nextToTake_;
    lock.unlock();
    return encode_(layers_[index]);
  }
  changed_.wait(lock, [&] { return slots_[index].ready; });
  EncodedLayer encoded = std::move(slots_[index].encoded);
  ++nextToTake_;
  changed_.notify_all();
  return encoded;
}

}  // namespace peelbox
