#include "cli/json_report.h"

#include "export/output_format.h"
#include "export/rip_job.h"
#include "psd/format_text.h"
#include "psd/text.h"

namespace peelbox::cli {

namespace {

std::string JsonStrings(const std::vector<std::string>& strings) {
  std::string json = "[";
  for (size_t i = 0; i < strings.size(); ++i) json += (i > 0 ? ", " : "") + JsonString(strings[i]);
  return json + "]";
}

const char* JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonIndex(const std::optional<size_t>& index) {
  return index ? FormatText("%zu", *index) : std::string("null");
}

// The fields every report and listing starts with.
std::string DocumentFields(const RipJob& job, int32_t result) {
  std::string json = FormatText("\"result\": %d", result);
  if (result != 0) {
    const JobSummary summary = job.Summary(result);
    json +=
        ", \"error\": " + JsonString(summary.error) + ", \"failed_in\": " + JsonString(FailedInName(summary.failedIn));
  }
  if (const std::optional<DocumentFormat> known = job.Format()) {
    const DocumentFormat& format = *known;
    json += FormatText(", \"width\": %d, \"height\": %d, \"mode\": ", format.columns, format.rows) +
            JsonString(format.ModeName()) + FormatText(", \"depth\": %u", format.depth) + ", \"profile\": " +
            (job.ProfileDescription() ? JsonString(*job.ProfileDescription()) : std::string("null"));
  } else {
    json += ", \"width\": null, \"height\": null, \"mode\": null, \"depth\": null, \"profile\": null";
  }
  return json;
}

std::string FactFields(const LayerFacts& facts) {
  return FormatText("\"left\": %d, \"top\": %d, \"width\": %lld, \"height\": %lld, \"visible\": %s, \"opacity\": %u, ",
                    facts.left, facts.top, static_cast<long long>(facts.width), static_cast<long long>(facts.height),
                    JsonBool(facts.visible), facts.opacity) +
         "\"blend_mode\": " + JsonString(facts.blendMode) + ", \"group\": " + JsonStrings(facts.groups);
}

std::string JsonPlace(const ImagePlace& image) {
  return FormatText("{\"left\": %lld, \"top\": %lld, \"width\": %lld, \"height\": %lld}",
                    static_cast<long long>(image.left), static_cast<long long>(image.top),
                    static_cast<long long>(image.width), static_cast<long long>(image.height));
}

// What shaped the written image, and what was not drawn.
std::string LookFields(const LayerFacts& facts) {
  return FormatText("\"clipping\": %s, \"mask\": ", JsonBool(facts.clipping)) + JsonString(facts.mask) +
         FormatText(", \"effects\": %s, \"mask_feather_ignored\": %s", JsonBool(facts.effects),
                    JsonBool(facts.featherIgnored));
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
                     ", \"output_folder\": " + JsonString(job.outputFolder) + ", " + DocumentFields(job, result) +
                     FormatText(", \"layers_ripped\": %d, \"files_saved\": %d, \"stopped\": %s", job.LayersRipped(),
                                job.FilesSaved(), JsonBool(job.Stopped())) +
                     ", \"files\": [";
  const char* separator = "";
  for (const OutputFile& file : job.OutputFiles()) {
    json += separator;
    json += "{\"path\": " + JsonString(file.path) + ", \"layer_index\": " + JsonIndex(file.layerIndex) +
            ", \"layer_name\": " + JsonString(file.layerName) + ", " + FactFields(file.facts) +
            ", \"image\": " + JsonPlace(file.image) + ", " + LookFields(file.facts) +
            ", \"format\": " + JsonString(file.format != nullptr ? file.format->name : "") + "}";
    separator = ", ";
  }
  json += "], \"skipped\": [";
  separator = "";
  for (const SkippedRecord& skipped : job.Skipped()) {
    json += separator;
    json += "{\"layer_info\": " + (skipped.layerInfo ? JsonString(*skipped.layerInfo) : std::string("null")) +
            ", \"record\": " + JsonIndex(skipped.record) + ", \"layer_index\": " + JsonIndex(skipped.record) +
            ", \"layer_name\": " + JsonString(skipped.name) +
            ", \"reason\": " + JsonString(SkipReasonText(skipped.reason, skipped.format)) + "}";
    separator = ", ";
  }
  return json + "]}";
}

std::string JsonListing(const RipJob& job, int32_t result) {
  std::string json =
      "{\"source\": " + JsonString(job.sourcePath) + ", " + DocumentFields(job, result) + ", \"layers\": [";
  const std::string layerInfo = job.document && !job.document->layerMaskInfo->Layers().records.empty()
                                    ? JsonString(job.document->layerMaskInfo->Layers().key)
                                    : std::string("null");
  const char* separator = "";
  const std::span<const PlannedRecord> plan = job.Plan();
  for (auto planned = plan.rbegin(); planned != plan.rend(); ++planned) {  // top-most first
    json += separator;
    json += "{\"layer_info\": " + (planned->index ? layerInfo : std::string("null")) +
            ", \"index\": " + JsonIndex(planned->index) + ", \"name\": " + JsonString(planned->name) +
            ", \"kind\": " + JsonString(planned->facts.kind) +
            ", \"hidden_by_group\": " + JsonBool(planned->facts.hiddenByGroup) + ", " + FactFields(planned->facts) +
            ", \"image\": " + (planned->image ? JsonPlace(*planned->image) : std::string("null")) + ", " +
            LookFields(planned->facts) + ", \"files\": " + JsonStrings(planned->files) + ", \"reason\": " +
            (planned->reason == SkipReason::kNone ? std::string("null") : JsonString(SkipReasonName(planned->reason))) +
            "}";
    separator = ", ";
  }
  return json + "]}";
}

}  // namespace peelbox::cli
