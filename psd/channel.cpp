#include "psd/channel.h"

#include "psd/big_endian.h"
#include "psd/packbits.h"
#include "psd/zip.h"

namespace peelbox {

int32_t ChannelInfo::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  if (!ReadBigEndian(file, &id) || !ReadLength(file, Large(), &dataLength)) return kShortEntry;
  return kOk;
}

int32_t ChannelInfo::ReadFromMemory(MemoryCursor* cursor) {
  if (cursor == nullptr || cursor->position == nullptr) return kNoSource;
  if (cursor->Remaining() < EntrySize()) return kShortEntry;
  id = LoadBigEndian<int16_t>(cursor->position);
  dataLength = Large() ? LoadBigEndian<uint64_t>(cursor->position + 2) : LoadBigEndian<uint32_t>(cursor->position + 2);
  cursor->position += EntrySize();
  return kOk;
}

int32_t ChannelInfo::ReadPixels(const std::optional<LayerBounds>& bounds, unsigned depth, std::FILE* file) {
  if (file == nullptr) return kNoSource;
  if (dataLength < 2 || !ReadBigEndian(file, &compression)) return kShortCompression;
  dataLength -= 2;
  const int64_t left = BytesLeft(file);
  if (dataLength > 0 && (left < 0 || dataLength > static_cast<uint64_t>(left))) return kShortStoredData;

  // Records of zero or negative size (groups, adjustment layers), masks
  // without a rectangle and unknown compressions keep their bytes in `data`
  // and have no plane.
  std::optional<PlaneGeometry> geometry;
  if (bounds && bounds->Width() > 0 && bounds->Height() > 0 && compression <= kZipPredictedCompression) {
    geometry = GeometryOf(static_cast<uint64_t>(bounds->Width()), static_cast<uint64_t>(bounds->Height()), depth);
    if (!geometry) return kBadRow;  // more than any file can fill
    planeWidth = static_cast<int32_t>(bounds->Width());
    planeHeight = static_cast<int32_t>(bounds->Height());
  }
  // A PackBits plane is had before the packed bytes, so that freeing them
  // after decoding leaves no hole below it.
  if (geometry && compression == kPackBitsCompression) {
    const PackedRows packed{nullptr, dataLength, geometry->rows, CountBytes()};
    if (!PackedRowsCanFill(packed, geometry->rows, geometry->rowBytes)) return kBadRow;
    if (!plane.Allocate(geometry->Size())) return kNoPlaneMemory;
  }
  if (dataLength > 0) {
    if (!data.Allocate(dataLength)) return kNoStoredMemory;
    if (!ReadExact(file, data.writable(), dataLength)) return kShortStoredData;
  }
  if (!geometry) return kOk;
  switch (compression) {
    case kRawCompression:
      return TakeRawPlane(*geometry);
    case kPackBitsCompression:
      return DecodePackBitsPlane(*geometry);
    default:
      return InflatePlane(*geometry);
  }
}

int32_t ChannelInfo::TakeRawPlane(const PlaneGeometry& geometry) {
  if (dataLength < geometry.Size()) return kBadRow;
  plane = std::move(data);  // no copy
  plane.Shrink(geometry.Size());
  return kOk;
}

int32_t ChannelInfo::DecodePackBitsPlane(const PlaneGeometry& geometry) {
  const PackedRows packed{data.data(), dataLength, geometry.rows, CountBytes()};
  if (!DecodePackedRows(packed, geometry.rows, geometry.rowBytes, plane.writable())) return kBadRow;
  data.Reset();
  return kOk;
}

int32_t ChannelInfo::InflatePlane(const PlaneGeometry& geometry) {
  if (!InflateExactly(data.data(), dataLength, geometry.Size(), &plane)) return kBadRow;
  if (compression == kZipPredictedCompression && !UndoPrediction(plane.writable(), geometry.rows, geometry.rowBytes, geometry.depth)) {
    return kNoPlaneMemory;
  }
  data.Reset();
  return kOk;
}

std::unique_ptr<ChannelInfo> CreateChannelInfo(BlockOwner* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<ChannelInfo>(owner, file, result);
}

}  // namespace peelbox
