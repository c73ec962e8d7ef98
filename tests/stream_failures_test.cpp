// Result codes of seeks and positions that fail, on a stream whose Nth seek
// or position request fails (glibc's fopencookie).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "psd/composite.h"
#include "psd/image_resources.h"
#include "tests/helpers.h"

namespace peelbox {
namespace {

using test::ByteVector;

class FailingStream {
 public:
  // Every seek and every position request is one call; call `failAt`
  // (counted from 0) fails.
  FailingStream(ByteVector bytes, int failAt) : bytes_(std::move(bytes)), failAt_(failAt) {
    cookie_io_functions_t functions{&Read, nullptr, &Seek, nullptr};
    file_ = fopencookie(this, "rb", functions);
  }
  ~FailingStream() { std::fclose(file_); }
  std::FILE* file() const { return file_; }

 private:
  static ssize_t Read(void* cookie, char* buffer, size_t size) {
    auto* self = static_cast<FailingStream*>(cookie);
    const size_t left = self->bytes_.size() - static_cast<size_t>(self->position_);
    size = std::min(size, left);
    std::memcpy(buffer, self->bytes_.data() + self->position_, size);
    self->position_ += static_cast<off64_t>(size);
    return static_cast<ssize_t>(size);
  }
  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto* self = static_cast<FailingStream*>(cookie);
    if (self->calls_++ == self->failAt_) return -1;
    const off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? self->position_ : self->bytes_.size();
    self->position_ = base + *offset;
    *offset = self->position_;
    return 0;
  }

  ByteVector bytes_;
  int failAt_;
  int calls_ = 0;
  off64_t position_ = 0;
  std::FILE* file_;
};

TEST(StreamFailures, DocumentMeasuringTheFile) {
  const ByteVector bytes = psdbuild::BuildDocument(test::SmallDocument()).bytes;
  // Seek to the end, its position, seek back to the start.
  const std::pair<int, int32_t> cases[] = {{0, PsdDocument::kSeekEndFailed},
                                           {1, PsdDocument::kNoFileSize},
                                           {2, PsdDocument::kSeekStartFailed}};
  for (const auto& [failAt, code] : cases) {
    FailingStream stream(bytes, failAt);
    int32_t result = 0;
    EXPECT_FALSE(LoadPsdDocumentFromStream(stream.file(), &result, nullptr));
    EXPECT_EQ(result, code) << failAt;
  }
  FailingStream fine(bytes, -1);
  int32_t result = 1;
  EXPECT_TRUE(LoadPsdDocumentFromStream(fine.file(), &result, nullptr));
  EXPECT_EQ(result, 0);
}

TEST(StreamFailures, CompositeMeasuringItsData) {
  const ByteVector bytes = {0, 0, 1, 2, 3, 4};
  // The position after the compression word, seek to the end, its position,
  // seek back.
  const std::pair<int, int32_t> cases[] = {{0, CompositeImage::kNoStartPosition},
                                           {1, CompositeImage::kSeekEndFailed},
                                           {2, CompositeImage::kNoEndPosition},
                                           {3, CompositeImage::kSeekBackFailed}};
  for (const auto& [failAt, code] : cases) {
    FailingStream stream(bytes, failAt);
    CompositeImage composite;
    EXPECT_EQ(composite.Read(stream.file()), code) << failAt;
  }
  EXPECT_EQ(CompositeImage::kNoStartPosition, -4096);
  EXPECT_EQ(CompositeImage::kSeekBackFailed, -16384);
}

TEST(StreamFailures, ImageResourcesWithoutAPosition) {
  FailingStream stream({0, 0, 0, 12, '8', 'B', 'I', 'M', 0, 1, 0, 0, 0, 0, 0, 0}, 0);
  ImageResourceList resources;
  EXPECT_EQ(resources.Read(stream.file()), ImageResourceList::kNoPosition);
  EXPECT_EQ(ImageResourceList::kNoPosition, -4096);
}

}  // namespace
}  // namespace peelbox
