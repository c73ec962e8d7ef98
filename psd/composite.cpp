#include "psd/composite.h"

#include "psd/big_endian.h"

namespace peelbox {

int32_t CompositeImage::Read(std::FILE* file) {
  if (file == nullptr) return kNoSource;
  uint16_t compression = 0;
  if (!ReadBigEndian(file, &compression)) return kShortCompression;
  // The data runs to the end of the file, whatever the image's size.
  const int64_t start = ftello(file);
  if (start < 0) return kNoStartPosition;
  if (fseeko(file, 0, SEEK_END) != 0) return kSeekEndFailed;
  const int64_t end = ftello(file);
  if (end < 0) return kNoEndPosition;
  if (fseeko(file, start, SEEK_SET) != 0) return kSeekBackFailed;
  if (end > start) {
    const auto size = static_cast<size_t>(end - start);
    if (!data.Allocate(size)) return kNoMemory;
    if (!ReadExact(file, data.writable(), size)) return kShortData;
  }
  if (compression == 0) rawData = std::move(data);
  return kOk;
}

std::unique_ptr<CompositeImage> CreateCompositeImage(PsdDocument* owner, std::FILE* file, int32_t* result) {
  return CreateAndRead<CompositeImage>(owner, file, result);
}

}  // namespace peelbox
