// The messages between a running job and the window that watches it. A send
// is synchronous: it returns only after the receiver has handled the message,
// so a status text needs to live only as long as the send.
#pragma once

#include <cstdint>

namespace peelbox {

constexpr uint32_t WM_RIP_STATUS = 0x480;   // text, packed progress
constexpr uint32_t WM_RIP_STARTED = 0x500;  // no parameters
constexpr uint32_t WM_RIP_DONE = 0x600;     // lParam: how the job ended
constexpr uint32_t WM_RIP_RESULT = 0x601;   // text: the line that stays, "Done: 5 layers, 10 files."

// How a job ended, in the lParam of WM_RIP_DONE.
enum RipOutcome : uint32_t {
  kRipSucceeded = 0,
  kRipFailed = 1,
  kRipStopped = 2,
};

constexpr uint32_t kProgressMaximum = 100;

// The position in the high word, the range maximum in the low word.
constexpr uint32_t PackProgress(int position, uint32_t maximum = kProgressMaximum) {
  return (static_cast<uint32_t>(position & 0xFFFF) << 16) | (maximum & 0xFFFF);
}
constexpr int ProgressPosition(uint32_t lParam) { return static_cast<int>(lParam >> 16); }
constexpr int ProgressMaximum(uint32_t lParam) { return static_cast<int>(lParam & 0xFFFF); }

class RipMessageReceiver {
 public:
  virtual ~RipMessageReceiver() = default;
  // `text` is the status text of WM_RIP_STATUS and null for the others.
  virtual void Send(uint32_t message, const char* text, uint32_t lParam) = 0;
};

}  // namespace peelbox
