#include "cli/json_report.h"

#include "export/rip_job.h"
#include "psd/status.h"
#include "psd/text.h"

namespace peelbox::cli {


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
  const JobSummary summary = job.Summary(result);
  std::string json = "{\"source\": " + JsonString(job.sourcePath) +
                     ", \"output_folder\": " + JsonString(job.outputFolder) + FormatText(", \"result\": %d", result) +
                     FormatText(", \"layers_ripped\": %d, \"files_saved\": %d", job.LayersRipped(), job.FilesSaved()) +
                     ", \"stopped\": " + (job.Stopped() ? "true" : "false");
  if (result != 0) {
    json += ", \"error\": " + JsonString(summary.error) + ", \"failed_in\": " + JsonString(FailedInName(summary.failedIn));
  }
  json += ", \"files\": [";
  const char* separator = "";
  for (const OutputFile& file : job.OutputFiles()) {
    json += separator;
    json += "{\"path\": " + JsonString(file.path) + ", \"layer_index\": " +
            (file.layerIndex ? FormatText("%zu", *file.layerIndex) : std::string("null")) +
            ", \"layer_name\": " + JsonString(file.layerName) + "}";
    separator = ", ";
  }
  json += "], \"skipped\": [";
  separator = "";
  for (const SkippedRecord& skipped : job.Skipped()) {
    json += separator;
    json += "{\"layer_info\": " + (skipped.layerInfo ? JsonString(*skipped.layerInfo) : std::string("null")) +
            ", \"record\": " +
            (skipped.record ? FormatText("%zu", *skipped.record) : std::string("null")) +
            ", \"reason\": " + JsonString(SkipReasonName(skipped.reason)) + "}";
    separator = ", ";
  }
  return json + "]}";
}

}  // namespace peelbox::cli
