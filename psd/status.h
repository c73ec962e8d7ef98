// How the reader tells whoever asked for the document how far it has got.
#pragma once

#include <cstddef>
#include <string>

namespace peelbox {

class LayerRecord;
class PsdDocument;

class StatusSink {
 public:
  virtual ~StatusSink() = default;
  // `progress` is a position in the job's 0..100 range.
  virtual void SendStatus(std::string text, int progress) = 0;
  // The pixels of record `index` (file order) are decoded and will not
  // change, while the rest of the document is still being read: work on them
  // can start.
  virtual void LayerPixelsRead(const PsdDocument& document, const LayerRecord& layer, size_t index) {
    (void)document, (void)layer, (void)index;
  }
  // The read failed, and the pixels reported so far are about to be
  // destroyed: once this returns, nothing may use them. May come twice.
  virtual void ReadFailed() {}
};

// printf-style formatting into a std::string of exactly the needed length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace peelbox
