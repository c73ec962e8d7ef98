#include "export/encoder_pool.h"

#include <utility>

#include "export/export_result.h"

namespace peelbox {

unsigned EncoderPool::DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

EncoderPool::EncoderPool(unsigned threads) : window_(threads > 0 ? threads : 1) {
  if (window_ < 2) return;
  for (size_t i = 0; i < window_; ++i) workers_.emplace_back(&EncoderPool::Work, this);
}

EncoderPool::~EncoderPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void EncoderPool::Add(Encode encode) {
  {
    std::lock_guard lock(mutex_);
    slots_.push_back({std::move(encode), false, {}});
  }
  changed_.notify_all();
}

void EncoderPool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Never more than `window_` layers beyond the one the job waits for.
    changed_.wait(lock, [&] {
      return stopping_ || (nextToStart_ < slots_.size() && nextToStart_ < nextToTake_ + window_);
    });
    if (stopping_) return;
    Slot& slot = slots_[nextToStart_++];
    const Encode encode = std::move(slot.encode);
    lock.unlock();
    EncodedLayer encoded = encode();
    lock.lock();
    slot.encoded = std::move(encoded);
    slot.ready = true;
    changed_.notify_all();
  }
}

EncodedLayer EncoderPool::TakeNext() {
  std::unique_lock lock(mutex_);
  const size_t index = nextToTake_;
  if (index >= slots_.size()) {
    EncodedLayer none;
    none.code = kWriteFailed;
    return none;
  }
  Slot& slot = slots_[index];
  if (workers_.empty()) {
    ++nextToTake_;
    const Encode encode = std::move(slot.encode);
    lock.unlock();
    return encode();
  }
  changed_.wait(lock, [&] { return slot.ready; });
  EncodedLayer encoded = std::move(slot.encoded);
  ++nextToTake_;
  changed_.notify_all();
  return encoded;
}

}  // namespace peelbox
