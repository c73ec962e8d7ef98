// The JPEG file of a layer, through libjpeg-turbo: 8 bits, transparency
// flattened over the background colour, the document's profile in APP2
// markers when the samples are its own.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

#include "export/eight_bit.h"
#include "export/export_result.h"
#include "export/output_format.h"
#include "export/samples.h"

// Last: jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace peelbox {

namespace {

constexpr int32_t kBatchRows = 32;  // rows between looks at the stop request

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void Abandon(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void Quietly(j_common_ptr, int) {}

// The compressed bytes go straight into the output buffer, a chunk at a
// time; a buffer that cannot grow ends the encoding through the error exit.
struct BufferDestination {
  jpeg_destination_mgr manager;
  OutputBuffer* out;
  JOCTET chunk[16384];
};

BufferDestination* DestinationOf(j_compress_ptr info) { return reinterpret_cast<BufferDestination*>(info->dest); }

void StartChunk(j_compress_ptr info) {
  BufferDestination* destination = DestinationOf(info);
  destination->manager.next_output_byte = destination->chunk;
  destination->manager.free_in_buffer = sizeof destination->chunk;
}

boolean ChunkFull(j_compress_ptr info) {
  BufferDestination* destination = DestinationOf(info);
  if (!destination->out->Append(destination->chunk, sizeof destination->chunk)) ERREXIT(info, JERR_OUT_OF_MEMORY);
  StartChunk(info);
  return TRUE;
}

void LastChunk(j_compress_ptr info) {
  BufferDestination* destination = DestinationOf(info);
  const size_t used = sizeof destination->chunk - destination->manager.free_in_buffer;
  if (!destination->out->Append(destination->chunk, used)) ERREXIT(info, JERR_OUT_OF_MEMORY);
}

// One row of the image as the JPEG takes it: each colour laid over the
// background by its transparency.
void FlattenRow(const uint8_t* in, int32_t width, const PixelFormat& format, int outChannels,
                const uint8_t background[3], uint8_t* out) {
  const int channels = format.Channels();
  const bool alpha = format.HasAlpha();
  for (int32_t x = 0; x < width; ++x, in += channels) {
    const uint8_t a = alpha ? in[channels - 1] : 255;
    for (int c = 0; c < outChannels; ++c) *out++ = Blended(in[c], a, background[c]);
  }
}

struct JpegJob {
  const EightBitPixels* pixels;
  int32_t width;
  int32_t height;
  int quality;
  uint8_t background[3];
  const ColourTags* tags;
  bool embedProfile;
  const StopToken* stop;
  uint8_t* row;  // room for one row of the output
};

// libjpeg reports errors by longjmp to the setjmp below, so this frame holds
// nothing with a destructor.
int32_t Compress(jpeg_compress_struct* info, JpegError* error, const JpegJob& job, BufferDestination* destination) {
  if (setjmp(error->jump)) return kWriteFailed;
  jpeg_create_compress(info);
  info->dest = &destination->manager;
  const bool grey = job.pixels->format().Grey();
  info->image_width = static_cast<JDIMENSION>(job.width);
  info->image_height = static_cast<JDIMENSION>(job.height);
  info->input_components = grey ? 1 : 3;
  info->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, job.quality, TRUE);
  if (job.tags->xPixelsPerMetre != 0) {
    const auto inch = [](uint32_t perMetre) {
      return static_cast<UINT16>(std::clamp<long>(std::lround(perMetre * 0.0254), 1, 65535));
    };
    info->density_unit = 1;  // dots per inch
    info->X_density = inch(job.tags->xPixelsPerMetre);
    info->Y_density = inch(job.tags->yPixelsPerMetre);
  }
  jpeg_start_compress(info, TRUE);
  if (job.embedProfile) {
    jpeg_write_icc_profile(info, reinterpret_cast<const JOCTET*>(job.tags->profile.data()),
                           static_cast<unsigned int>(job.tags->profile.size()));
  }
  const size_t rowBytes = job.pixels->RowBytes(job.width);
  for (int32_t y = 0; y < job.height; ++y) {
    if (y % kBatchRows == 0 && job.stop->StopRequested()) return kStopped;
    FlattenRow(job.pixels->data() + static_cast<size_t>(y) * rowBytes, job.width, job.pixels->format(),
               info->input_components, job.background, job.row);
    JSAMPROW rows[1] = {job.row};
    jpeg_write_scanlines(info, rows, 1);
  }
  jpeg_finish_compress(info);
  return kExportOk;
}

struct Compressor {
  jpeg_compress_struct info{};
  JpegError error{};
  BufferDestination destination{};
  explicit Compressor(OutputBuffer* out) {
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = Abandon;
    error.manager.emit_message = Quietly;
    destination.manager.init_destination = StartChunk;
    destination.manager.empty_output_buffer = ChunkFull;
    destination.manager.term_destination = LastChunk;
    destination.out = out;
  }
  ~Compressor() { jpeg_destroy_compress(&info); }
};

int32_t EncodeJpegFile(const Raster& raster, const EncodeSettings& settings, OutputBuffer* out) {
  const ExportOptions& options = settings.options;
  const uint8_t background[3] = {static_cast<uint8_t>(options.background >> 16),
                                 static_cast<uint8_t>(options.background >> 8),
                                 static_cast<uint8_t>(options.background)};
  // Grey stays grey unless a coloured background shows through.
  const bool greyBackground = background[0] == background[1] && background[1] == background[2];
  const bool widen = raster.format.Grey() && raster.format.HasAlpha() && !greyBackground;
  EightBitPixels pixels;
  if (!pixels.Make(raster, widen)) return kWriteFailed;
  std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(raster.width) * 3]);
  if (!row) return kWriteFailed;
  const JpegJob job{&pixels,
                    raster.width,
                    raster.height,
                    std::clamp(options.jpegQuality, 0, 100),
                    {background[0], background[1], background[2]},
                    &settings.tags,
                    !settings.tags.profile.empty() && !widen,
                    &settings.stop,
                    row.get()};
  const auto compressor = std::make_unique<Compressor>(out);  // its chunk is large for the stack
  return Compress(&compressor->info, &compressor->error, job, &compressor->destination);
}

}  // namespace

// A JPEG's sides are 16 bits; libjpeg stops a little short of that.
extern const OutputFormat kJpegFormat{"jpeg", ".jpg", "JPEG", {true, JPEG_MAX_DIMENSION}, EncodeJpegFile};

}  // namespace peelbox
