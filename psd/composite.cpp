#include "psd/composite.h"

#include "psd/big_endian.h"
#include "psd/packbits.h"
#include "psd/zip.h"

namespace peelbox {

int32_t CompositeImage::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  if (!ReadBigEndian(file, &compression)) return kShortCompression;
  // The data runs to the end of the file, whatever the image's size.
  const int64_t start = ftello(file);
  if (start < 0) return kNoStartPosition;
  if (fseeko(file, 0, SEEK_END) != 0) return kSeekEndFailed;
  const int64_t end = ftello(file);
  if (end < 0) return kNoEndPosition;
  if (fseeko(file, start, SEEK_SET) != 0) return kSeekBackFailed;
  length = end > start ? static_cast<uint64_t>(end - start) : 0;
  if (owner == nullptr || !owner->CompositeWanted()) return kOk;
  if (length > 0) {
    if (!data.Allocate(length)) return kNoMemory;
    if (!ReadExact(file, data.writable(), length)) return kShortData;
  }
  const int32_t decoded = Decode();
  data.Reset();
  return decoded;
}

// The colour channels only, each a plane of the document's size.
int32_t CompositeImage::Decode() {
  const DocumentFormat& format = owner->format;
  const int colours = format.ColourChannels();
  if (colours == 0 || format.rows <= 0 || format.columns <= 0) return kOk;  // nothing to show
  if (format.channels < colours) return kUndecodable;
  const auto planes = GeometryOf(static_cast<uint64_t>(format.columns), static_cast<uint64_t>(format.rows), format.depth);
  // Every channel's planes must be countable: ZIP inflates them all.
  uint64_t allPlanesSize = 0;
  if (!planes || __builtin_mul_overflow(planes->Size(), uint64_t(format.channels), &allPlanesSize)) return kUndecodable;
  geometry = *planes;
  planeCount = colours;
  const uint64_t planesSize = geometry.Size() * static_cast<uint64_t>(colours);
  switch (compression) {
    case kRawCompression:
      return DecodeRaw(planesSize);
    case kPackBitsCompression:
      return DecodePackBits(planesSize);
    case kZipCompression:
    case kZipPredictedCompression:
      return Inflate(planesSize);
    default:
      return kUndecodable;
  }
}

// Every channel's plane, one after the other.
int32_t CompositeImage::DecodeRaw(uint64_t planesSize) {
  if (length < planesSize) return kUndecodable;
  pixels = std::move(data);
  pixels.Shrink(planesSize);
  return kOk;
}

// One table of row counts for every row of every channel, then the rows.
int32_t CompositeImage::DecodePackBits(uint64_t planesSize) {
  const uint64_t rows = geometry.rows * static_cast<uint64_t>(planeCount);
  const PackedRows packed{data.data(), length, geometry.rows * owner->format.channels, Large() ? 4u : 2u};
  if (!PackedRowsCanFill(packed, rows, geometry.rowBytes)) return kUndecodable;
  if (!pixels.Allocate(planesSize)) return kNoMemory;
  return DecodePackedRows(packed, rows, geometry.rowBytes, pixels.writable()) ? kOk : kUndecodable;
}

// One stream for every channel; the planes after the colour ones are
// inflated too (the stream must end where the last one does) and dropped.
int32_t CompositeImage::Inflate(uint64_t planesSize) {
  const uint64_t channels = owner->format.channels;
  if (!InflateExactly(data.data(), length, geometry.Size() * channels, &pixels)) return kUndecodable;
  if (compression == kZipPredictedCompression &&
      !UndoPrediction(pixels.writable(), geometry.rows * channels, geometry.rowBytes, geometry.depth)) {
    return kNoMemory;
  }
  pixels.Shrink(planesSize);
  return kOk;
}

std::unique_ptr<CompositeImage> CreateCompositeImage(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<CompositeImage>(owner, file, result);
}

}  // namespace peelbox
