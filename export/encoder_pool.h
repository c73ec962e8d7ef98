// Encodes layers ahead of the job on several threads, and hands the results
// over strictly in layer order. The job's own thread writes the files and
// sends every status, so what reaches the disk and the window is the same
// with one thread or many.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "export/layer_encoder.h"

namespace peelbox {

class EncoderPool {
 public:
  using Encode = std::function<EncodedLayer(size_t layer)>;

  // `layers` are the layers to encode, in the order they will be taken.
  // With one thread nothing runs ahead: each layer is encoded when taken.
  // With more, at most `threads` layers are encoded or waiting at a time, so
  // that memory holds no more than one raster and one encoded layer per
  // thread.
  EncoderPool(std::vector<size_t> layers, unsigned threads, Encode encode);
  // Stops the threads; results nobody took are discarded.
  ~EncoderPool();
  EncoderPool(const EncoderPool&) = delete;
  EncoderPool& operator=(const EncoderPool&) = delete;

  // The next layer's encoding, waiting for it if needed.
  EncodedLayer TakeNext();

  // One per core; at least one.
  static unsigned DefaultThreads();

 private:
  struct Slot {
    bool ready = false;
    EncodedLayer encoded;
  };

  void Work();

  const std::vector<size_t> layers_;
  const size_t window_;
  const Encode encode_;
  std::vector<Slot> slots_;
  size_t nextToStart_ = 0;
  size_t nextToTake_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};

}  // namespace peelbox
