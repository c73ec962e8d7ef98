// A request to stop, shared by whoever started a job and everything working
// for it: the reader, the colour conversion and the encoders poll the same
// token, and work they abandon ends with the one result kStopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace peelbox {

// Not a failure: whoever started the work asked it to stop. No reader or
// writer code comes near it.
inline constexpr int32_t kStopped = -(1 << 20);

class StopToken {
 public:
  // A token nobody can set: work given it never stops.
  StopToken() = default;
  // A token of its own; copies share it.
  static StopToken Make() {
    StopToken token;
    token.flag_ = std::make_shared<std::atomic<bool>>(false);
    return token;
  }

  bool StopRequested() const { return flag_ != nullptr && flag_->load(std::memory_order_relaxed); }
  // Whether a stop was asked for before. Lock-free, so that a signal handler
  // may call it.
  bool RequestStop() const { return flag_ != nullptr && flag_->exchange(true); }

 private:
  static_assert(std::atomic<bool>::is_always_lock_free);
  std::shared_ptr<std::atomic<bool>> flag_;
};

}  // namespace peelbox
