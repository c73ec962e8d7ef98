// PackBits, the run-length packing of Photoshop channels: the one decoder of
// Peelbox, and the table of row counts in front of packed rows. Knows no
// section.
#pragma once

#include <cstddef>
#include <cstdint>

namespace peelbox {

// What the bounded decoder did: the bytes the packets stand for (also those
// beyond the capacity, which are counted but not written), and whether the
// input ended inside a packet.
struct PackBitsOutput {
  size_t produced = 0;
  bool cutOff = false;
};

// Decodes `size` packed bytes into at most `capacity` bytes of `destination`.
// Never reads past the input or writes past the capacity; stops at a packet
// that the end of the input cuts off.
PackBitsOutput DecodePackBitsBounded(const uint8_t* source, size_t size, uint8_t* destination, size_t capacity);

// Decodes `size` packed bytes into `destination`, which must hold what they
// stand for. Returns the number of bytes written; -1 without a source, -2
// without a destination.
int32_t DecodePackBits(const uint8_t* source, int32_t size, uint8_t* destination);

// Packed rows as Photoshop stores them: a table of one count per row (2
// bytes each, 4 in a large document), then the rows, each as long as its
// count. The table may list more rows than are decoded (a composite image
// lists every channel's rows first).
struct PackedRows {
  const uint8_t* stored = nullptr;
  uint64_t storedSize = 0;
  uint64_t tableRows = 0;
  unsigned countBytes = 2;
};

// Whether the stored bytes hold the table and could fill `rows` rows of
// `rowBytes`: a packed byte stands for at most 64 bytes (a 2-byte run of
// 128), so a plane they cannot fill is refused before it is allocated.
bool PackedRowsCanFill(const PackedRows& packed, uint64_t rows, uint64_t rowBytes);

// Decodes the first `rows` rows into `plane`, `rowBytes` each. A row may
// decode to one byte less or more than `rowBytes` (some writers end a row
// early or carry a byte too many); anything else, a count past the stored
// bytes or a packet cut off by its row's end fails.
bool DecodePackedRows(const PackedRows& packed, uint64_t rows, uint64_t rowBytes, uint8_t* plane);

}  // namespace peelbox
