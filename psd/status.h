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
  // The records of the document's layers (file order) are read, before any
  // of their pixels: the one moment to decide what becomes of each.
  virtual void LayerRecordsRead(const PsdDocument& document, LayerInfo& layers) { (void)document, (void)layers; }
  // The pixels of record `index` of the document's layers (file order) are
  // decoded, while the rest of the document is still being read: work on
  // them can start. All the records are read by then. The sink may take the
  // record's planes: whatever it moves out is its own from then on.
  virtual void LayerPixelsRead(const PsdDocument& document, LayerInfo& layers, size_t index) {
    (void)document, (void)layers, (void)index;
  }
};

}  // namespace peelbox
