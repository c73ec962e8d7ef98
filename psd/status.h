// How the reader tells whoever asked for the document how far it has got.
#pragma once

#include <cstddef>
#include <string>

namespace peelbox {

class LayerInfo;
class PsdDocument;

class StatusSink {
 public:
  virtual ~StatusSink() = default;
  // `progress` is a position in the job's 0..100 range.
  virtual void SendStatus(std::string text, int progress) = 0;
  // The pixels of record `index` of the document's layers (file order) are
  // decoded, while the rest of the document is still being read: work on
  // them can start. All the records are read by then. The sink may take the
  // record's planes: whatever it moves out is its own from then on.
  virtual void LayerPixelsRead(const PsdDocument& document, LayerInfo& layers, size_t index) {
    (void)document, (void)layers, (void)index;
  }
  // Polled while reading; true ends the read with PsdBlock::kStopped.
  virtual bool StopRequested() const { return false; }
};

// printf-style formatting into a std::string of exactly the needed length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace peelbox
