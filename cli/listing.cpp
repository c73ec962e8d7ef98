#include "cli/listing.h"

#include "export/output_format.h"
#include "export/rip_job.h"
#include "psd/format_text.h"

namespace peelbox::cli {

namespace {

std::string Visibility(const LayerFacts& facts) {
  if (!facts.visible) return "hidden";
  return facts.hiddenByGroup ? "in hidden group" : "visible";
}

std::string Outcome(const PlannedRecord& planned) {
  if (planned.reason != SkipReason::kNone) return std::string("(") + SkipReasonName(planned.reason) + ")";
  std::string files;
  for (const std::string& file : planned.files) files += (files.empty() ? "" : ", ") + file;
  for (const OutputFormat* format : planned.tooLarge) {
    files += " (" + SkipReasonText(SkipReason::kTooLarge, format) + ")";
  }
  return "-> " + files;
}

}  // namespace

std::string ListingText(const RipJob& job) {
  const DocumentFormat& format = job.document->format;
  const size_t records = job.document->layerMaskInfo->Layers().records.size();
  std::string text = FormatText("%s: %d x %d, %s, %u bits, %zu layer records\n", job.sourcePath.c_str(), format.columns,
                                format.rows, format.ModeName(), format.depth, records);
  text += FormatText("%5s  %-18s  %-15s  %3s  %-4s  %13s  %11s  %s\n", "index", "kind", "visibility", "opa",
                     "mode", "left,top   ", "size    ", "name and files");
  const std::span<const PlannedRecord> plan = job.Plan();
  for (auto planned = plan.rbegin(); planned != plan.rend(); ++planned) {  // top-most first
    const LayerFacts& facts = planned->facts;
    // A written layer shows its image's place, which the options may move.
    const ImagePlace place = planned->image.value_or(ImagePlace{facts.left, facts.top, facts.width, facts.height});
    const std::string index = planned->index ? FormatText("%zu", *planned->index) : std::string("-");
    text += FormatText("%5s  %-18s  %-15s  %3u  %-4s  %6lld,%-6lld  %5lldx%-5lld  \"%s\"  %s\n", index.c_str(),
                       facts.kind.c_str(), Visibility(facts).c_str(), facts.opacity, facts.blendMode.c_str(),
                       static_cast<long long>(place.left), static_cast<long long>(place.top),
                       static_cast<long long>(place.width), static_cast<long long>(place.height), planned->name.c_str(),
                       Outcome(*planned).c_str());
  }
  return text;
}

}  // namespace peelbox::cli
