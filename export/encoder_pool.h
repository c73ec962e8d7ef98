// Encodes layers ahead of the job on several threads, and hands the results
// over strictly in the order the layers were added. The job's own thread
// writes the files and sends every status, so what reaches the disk and the
// window is the same with one thread or many.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "export/layer_encoder.h"

namespace peelbox {

class EncoderPool {
 public:
  using Encode = std::function<EncodedLayer()>;

  // With one thread nothing runs ahead: each layer is encoded when taken.
  // With more, at most `threads` layers are encoded or waiting at a time, so
  // that memory holds no more than one raster and one encoded layer per
  // thread.
  explicit EncoderPool(unsigned threads);
  // Stops the threads; results nobody took are discarded.
  ~EncoderPool();
  EncoderPool(const EncoderPool&) = delete;
  EncoderPool& operator=(const EncoderPool&) = delete;

  // Queues the next layer; its pixels must not change until it is taken.
  void Add(Encode encode);
  // The next layer's encoding, in the order added, waiting for it if needed.
  EncodedLayer TakeNext();

  // One per core; at least one.
  static unsigned DefaultThreads();

 private:
  struct Slot {
    Encode encode;
    bool ready = false;
    EncodedLayer encoded;
  };

  void Work();

  const size_t window_;
  std::deque<Slot> slots_;  // grows at the back; slots never move
  size_t nextToStart_ = 0;
  size_t nextToTake_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};

}  // namespace peelbox
