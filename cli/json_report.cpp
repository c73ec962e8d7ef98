#include "cli/json_report.h"

#include "export/rip_job.h"
#include "psd/status.h"

namespace peelbox::cli {

namespace {

// The length of the well-formed UTF-8 sequence at `at`, or 0.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string JsonString(const std::string& bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : FormatText("\\u%04x", c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const size_t length = Utf8SequenceLength(bytes, i); length > 0) {
      out.append(bytes, i, length);
      i += length;
      continue;
    } else {
      out += FormatText("\\u%04x", c);
    }
    ++i;
  }
  return out + "\"";
}

std::string JsonReport(const RipJob& job, int32_t result) {
  std::string json = "{\"source\": " + JsonString(job.sourcePath) +
                     ", \"output_folder\": " + JsonString(job.outputFolder) + FormatText(", \"result\": %d", result) +
                     FormatText(", \"layers_ripped\": %d, \"files_saved\": %d", job.LayersRipped(), job.FilesSaved()) +
                     ", \"files\": [";
  const char* separator = "";
  for (const OutputFile& file : job.OutputFiles()) {
    json += separator;
    json += "{\"path\": " + JsonString(file.path) + FormatText(", \"layer_index\": %zu", file.layerIndex) +
            ", \"layer_name\": " + JsonString(file.layerName) + "}";
    separator = ", ";
  }
  return json + "]}";
}

}  // namespace peelbox::cli
