#include "psd/zip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace peelbox {

namespace {

constexpr uint64_t kFirstCapacity = 64 * 1024;

// Owns the inflate state for one stream.
class Inflater {
 public:
  Inflater() { ready_ = inflateInit(&stream_) == Z_OK; }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool ready() const { return ready_; }

  // Inflates into `out` (at most `room` bytes), feeding the input in pieces
  // zlib's 32-bit counters can hold. Returns zlib's code and adds what it
  // wrote to `*written`.
  int Step(const uint8_t*& input, uint64_t& inputLeft, uint8_t* out, uint64_t room, uint64_t* written) {
    if (stream_.avail_in == 0 && inputLeft > 0) {
      stream_.next_in = const_cast<Bytef*>(input);
      stream_.avail_in = static_cast<uInt>(std::min<uint64_t>(inputLeft, UINT_MAX));
      input += stream_.avail_in;
      inputLeft -= stream_.avail_in;
    }
    stream_.next_out = out;
    stream_.avail_out = static_cast<uInt>(std::min<uint64_t>(room, UINT_MAX));
    const uInt before = stream_.avail_out;
    const int code = inflate(&stream_, Z_NO_FLUSH);
    *written += before - stream_.avail_out;
    return code;
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

bool InflateExactly(const uint8_t* stored, uint64_t storedSize, uint64_t size, Bytes* out) {
  Inflater inflater;
  if (!inflater.ready()) return false;
  uint64_t capacity = std::min(size, std::max(kFirstCapacity, storedSize * 4));
  if (!out->Allocate(capacity)) return false;
  const uint8_t* input = stored;
  uint64_t inputLeft = storedSize;
  uint64_t produced = 0;
  int code = Z_OK;
  while (produced < size) {
    if (produced == capacity) {
      capacity = std::min(size, capacity * 2);
      if (!out->Grow(capacity)) return false;
    }
    code = inflater.Step(input, inputLeft, out->writable() + produced, capacity - produced, &produced);
    if (code == Z_STREAM_END) break;
    // With room to write, no progress means the input ran out: the stream
    // ends early.
    if (code != Z_OK) return false;
  }
  if (produced < size) return false;
  // The plane is full: the stream must end here, with nothing more in it.
  while (code != Z_STREAM_END) {
    uint8_t extra = 0;
    uint64_t more = 0;
    code = inflater.Step(input, inputLeft, &extra, 1, &more);
    if (more > 0 || (code != Z_OK && code != Z_STREAM_END)) return false;
  }
  return true;
}

bool UndoPrediction(uint8_t* plane, uint64_t rows, uint64_t rowBytes, unsigned depth) {
  if (depth == 16) {
    for (uint64_t y = 0; y < rows; ++y) {
      uint8_t* row = plane + y * rowBytes;
      for (uint64_t i = 2; i + 1 < rowBytes; i += 2) {
        const unsigned previous = row[i - 2] << 8 | row[i - 1];
        const unsigned value = (previous + (row[i] << 8 | row[i + 1])) & 0xFFFF;
        row[i] = static_cast<uint8_t>(value >> 8);
        row[i + 1] = static_cast<uint8_t>(value);
      }
    }
    return true;
  }
  Bytes scratch;
  if (depth == 32 && !scratch.Allocate(rowBytes)) return false;
  const uint64_t width = rowBytes / 4;
  for (uint64_t y = 0; y < rows; ++y) {
    uint8_t* row = plane + y * rowBytes;
    for (uint64_t i = 1; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - 1]);
    if (depth != 32) continue;
    // Byte b of sample x was stored at b * width + x.
    uint8_t* samples = scratch.writable();
    for (uint64_t x = 0; x < width; ++x) {
      for (unsigned b = 0; b < 4; ++b) samples[4 * x + b] = row[b * width + x];
    }
    std::copy(samples, samples + 4 * width, row);
  }
  return true;
}

}  // namespace peelbox
