#include "cli/options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>

#include "export/output_format.h"
#include "export/plan.h"
#include "export/preset.h"

namespace peelbox::cli {

const char kUsage[] =
    "Usage: peelbox-cli [OPTIONS] SOURCE... OUTPUT_FOLDER\n"
    "       peelbox-cli --list [OPTIONS] SOURCE...\n"
    "Writes every layer of each Photoshop document (.psd, .psb) as a PNG file and\n"
    "a GIF file into OUTPUT_FOLDER, which is created when it is missing. With\n"
    "several documents (or -D), each goes into a folder of its own inside\n"
    "OUTPUT_FOLDER, named after the document.\n"
    "\n"
    "Options:\n"
    "  -l, --list           write nothing: list each document's layers, top-most\n"
    "                       first, with the files they would get or why none\n"
    "      --json           print one JSON object per document, one per line\n"
    "  -D, --folder-per-document\n"
    "                       a folder of its own for each document, even for one\n"
    "      --visible-only   skip layers that are hidden or inside a hidden group\n"
    "      --formats LIST   the formats written, comma-separated: png, gif, webp,\n"
    "                       jpeg (default png,gif)\n"
    "      --name TEMPLATE  name each layer's files by TEMPLATE: their path in\n"
    "                       OUTPUT_FOLDER without the extension (default {name})\n"
    "      --groups-as-folders\n"
    "                       put {path}/ before the template: folders named after\n"
    "                       the groups (short for --name '{path}/{name}')\n"
    "      --only PATTERN   write only layers that match PATTERN (repeatable)\n"
    "      --skip PATTERN   write no layer that matches PATTERN (repeatable)\n"
    "      --ignore-case    match patterns ignoring the case of ASCII letters\n"
    "      --fast           PNGs compressed for speed: 1.5 to 1.9 times as fast to\n"
    "                       encode, 4 to 8% larger on photographs, up to 40%\n"
    "                       larger on soft artwork\n"
    "      --ignore-alpha   keep complete transparency only: every transparency but\n"
    "                       none at all becomes fully opaque\n"
    "      --extent EXTENT  the rectangle of each image: layer (the layer's own,\n"
    "                       the default), trim (all that is not fully transparent)\n"
    "                       or canvas (the document's size, the layer in its place)\n"
    "      --pad N          N transparent pixels (0 to 4096) around each layer or\n"
    "                       trimmed image; not with --extent canvas\n"
    "      --as-shown       each layer as it looks in the document, alone: its\n"
    "                       masks, opacity and fill, those of its groups, and the\n"
    "                       layer it is clipped to shape its transparency (layer\n"
    "                       effects are not drawn)\n"
    "      --color MODE     keep (default): samples as stored, the document's profile\n"
    "                       embedded in PNG and JPEG files; srgb: RGB and grey\n"
    "                       samples converted to sRGB through the profile\n"
    "      --webp-quality Q lossy WebP files of quality Q (0 to 100); lossless\n"
    "                       without it\n"
    "      --jpeg-quality Q JPEG quality (0 to 100, default 90)\n"
    "      --background RRGGBB\n"
    "                       the colour JPEG files show under transparency\n"
    "                       (default ffffff, white)\n"
    "      --gif-matte RRGGBB\n"
    "                       GIF pixels of alpha 128 and up are blended over this\n"
    "                       colour, the others are transparent\n"
    "      --gif-dither     Floyd-Steinberg dithering in GIFs of more than 254\n"
    "                       colours\n"
    "      --layers LIST    write only these records, by index (0 bottom-most),\n"
    "                       for example 3,5-7\n"
    "      --preset FILE    read the options of a preset (JSON whose keys are\n"
    "                       the long options); options given here override it,\n"
    "                       and an --only or --skip here replaces its list\n"
    "  -t, --threads N      encode on N threads (default: one per core)\n"
    "  -j, --jobs N         rip N documents at once (default 1; 0: one per core),\n"
    "                       with at most the larger of N and --threads encoding\n"
    "                       threads in all; the output is the same as one by one\n"
    "  -q, --quiet          print no status lines (--list prints none either)\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Name templates hold fields in braces:\n"
    "  {name}    the layer's name\n"
    "  {doc}     the document's file name without its extension\n"
    "  {index}   the record's index, 0 bottom-most (empty for a flattened document)\n"
    "  {n}       1, 2, 3, ... over the layers written, top-most first\n"
    "  {group}   the innermost group's name, or nothing\n"
    "  {path}    the groups' names, outermost first, joined by /\n"
    "  {left} {top} {width} {height}  the written image's place on the canvas\n"
    "  {blend}   the blend mode's key (norm, mul, ...)\n"
    "{index:03} pads a number with zeros to 3 digits (1 to 9); {{ and }} are\n"
    "braces. Each value is made safe as a layer's name is (a / in it becomes _):\n"
    "only the template's own / makes folders. Names taken in a folder get \" (2)\",\n"
    "\" (3)\", ...; a name left empty becomes \"Layer N\".\n"
    "\n"
    "Patterns are shell globs: * and ? within a name, ** across /, [a-z] and\n"
    "[!a-z] one character of a set; \\ takes the next character as it is. A\n"
    "pattern without / matches the layer's own name, wherever it is; one with /\n"
    "matches its path: its groups' names and its own, joined by /, as the\n"
    "document holds them (a name that holds / reads as two; a leading / is the\n"
    "top level). A layer is written when it matches an --only (if any) and no\n"
    "--skip; one left out is skipped as \"filtered\", even when also hidden.\n"
    "\n"
    "Examples:\n"
    "  peelbox-cli art.psd out/                     every layer of art.psd into out/\n"
    "  peelbox-cli -D --json *.psd out/ > result.jsonl  each into out/<name>/\n"
    "  peelbox-cli --list --visible-only art.psd     what would be written, and why not\n"
    "  peelbox-cli --formats png --groups-as-folders --fast art.psd out/\n"
    "  peelbox-cli --name '{doc}_{group}_{name}@{index}' art.psd out/\n"
    "                                     for a game: out/art_UI_Button@12.png, ...\n"
    "  peelbox-cli --only 'UI/**' --skip '*_old' art.psd out/\n"
    "                                     the layers in the group UI, but no ..._old\n"
    "  peelbox-cli --list --name '{path}/{n:03}' art.psd\n"
    "                                     try a template: Outer/001.png, ...\n"
    "  peelbox-cli --as-shown --extent trim --pad 2 art.psd out/\n"
    "\n"
    "Short options combine: -qDt1 is -q -D -t 1. --opt=value is --opt value, and\n"
    "every operand after -- is a file, even one that starts with -.\n"
    "\n"
    "Status lines go to stderr (none with --quiet). The report of a document that\n"
    "was ripped goes to stdout, of one that failed to stderr; with --json stdout\n"
    "holds nothing but the JSON lines. Exit status: 0 when every document\n"
    "succeeded, 1 when one failed, 2 on bad usage, 130 when stopped by Ctrl-C\n"
    "(the files written so far stay, complete; a second Ctrl-C ends at once).\n";

namespace {

bool ParseCount(const std::string& text, long least, unsigned* count) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < least || value > 256) return false;
  *count = static_cast<unsigned>(value);
  return true;
}

bool ParseExtent(const std::string& text, ExportOptions* job) {
  constexpr std::pair<const char*, Extent> kExtents[] = {
      {"layer", Extent::kLayer}, {"trim", Extent::kTrim}, {"canvas", Extent::kCanvas}};
  for (const auto& [name, extent] : kExtents) {
    if (text == name) {
      job->extent = extent;
      return true;
    }
  }
  return false;
}

bool ParsePad(const std::string& text, ExportOptions* job) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > ExportOptions::kMaxPad) return false;
  job->pad = static_cast<int>(value);
  return true;
}

// 0 to 100.
bool ParseQuality(const std::string& text, int* quality) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 100) return false;
  *quality = static_cast<int>(value);
  return true;
}

// RRGGBB, six hexadecimal digits, with or without a leading #.
bool ParseColour(std::string text, int* colour) {
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  *colour = static_cast<int>(std::strtol(text.c_str(), nullptr, 16));
  return true;
}

bool ParseFormats(const std::string& text, ExportOptions* job) {
  job->formats.clear();
  std::stringstream list(text);
  for (std::string format; std::getline(list, format, ',');) {
    if (FindOutputFormat(format) == nullptr) return false;
    job->formats.push_back(format);
  }
  return !job->formats.empty();
}

// Short options that take a value: in "-qt1" the rest after t is its value.
constexpr char kShortWithValue[] = "tj";

// A name that reads as a document's: the usual slip of a missing output
// folder, "peelbox-cli a.psd b.psd".
bool NamesADocument(const std::string& operand) {
  std::string extension = std::filesystem::path(operand).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".psd" || extension == ".psb";
}

// "3,5-7": single indexes and ranges, in any order.
bool ParseLayers(const std::string& text, ExportOptions* job) {
  std::vector<LayerRange> ranges;
  std::stringstream list(text);
  const auto number = [](const std::string& digits, size_t* out) {
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    *out = std::stoul(digits);
    return true;
  };
  for (std::string item; std::getline(list, item, ',');) {
    const size_t dash = item.find('-');
    LayerRange range;
    if (!number(item.substr(0, dash), &range.first)) return false;
    range.last = range.first;
    if (dash != std::string::npos && (!number(item.substr(dash + 1), &range.last) || range.last < range.first)) {
      return false;
    }
    ranges.push_back(range);
  }
  if (ranges.empty() || text.back() == ',') return false;
  job->layers = std::move(ranges);
  return true;
}

// The preset is read before the other options, which override it.
bool ReadPresetFirst(const std::vector<std::string>& arguments, ExportOptions* job, std::string* problem) {
  for (size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
    std::string path;
    if (arguments[i] == "--preset" && i + 1 < arguments.size()) {
      path = arguments[++i];
    } else if (arguments[i].rfind("--preset=", 0) == 0) {
      path = arguments[i].substr(9);
    } else {
      continue;
    }
    if (!LoadPreset(path, job, problem)) return false;
  }
  return true;
}

Parsed Usage(const std::string& problem) {
  Parsed parsed;
  parsed.exit = kBadUsage;
  parsed.error = "peelbox-cli: " + problem + "\nTry 'peelbox-cli --help'.\n";
  return parsed;
}

}  // namespace

Parsed Parse(const std::vector<std::string>& given, Options* options) {
  std::vector<std::string> arguments = given;  // combined short options are split in place
  std::vector<std::string> operands;
  bool operandsOnly = false;
  if (std::string problem; !ReadPresetFirst(arguments, &options->job, &problem)) return Usage("--preset: " + problem);
  // A list on the command line replaces the preset's.
  bool onlyGiven = false;
  bool skipGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (operandsOnly || argument.empty() || argument[0] != '-' || argument == "-") {
      operands.push_back(argument);
      continue;
    }
    // "--name=value" is "--name value".
    std::string value;
    bool inlineValue = false;
    if (const size_t equals = argument.find('='); argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
      inlineValue = true;
    } else if (argument.size() > 2 && argument[1] != '-') {
      // "-qt1": -q, then -t with the value 1; "-qD": -q, then -D.
      if (std::strchr(kShortWithValue, argument[1]) != nullptr) {
        value = argument.substr(2);
        inlineValue = true;
      } else {
        arguments.insert(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, "-" + argument.substr(2));
      }
      argument.resize(2);
    }
    bool valueTaken = false;
    const auto takeValue = [&](std::string* out) {
      if (inlineValue) {
        *out = value;
        valueTaken = true;
        return true;
      }
      if (i + 1 >= arguments.size()) return false;
      *out = arguments[++i];
      return true;
    };
    if (argument == "--") {
      operandsOnly = true;
    } else if (argument == "-h" || argument == "--help") {
      return {false, kSucceeded, kUsage, ""};
    } else if (argument == "-V" || argument == "--version") {
      return {false, kSucceeded, std::string("peelbox-cli ") + PEELBOX_VERSION + "\n", ""};
    } else if (argument == "-q" || argument == "--quiet") {
      options->quiet = true;
    } else if (argument == "--json") {
      options->json = true;
    } else if (argument == "-l" || argument == "--list") {
      options->list = true;
    } else if (argument == "-D" || argument == "--folder-per-document") {
      options->folderPerDocument = true;
    } else if (argument == "--ignore-alpha") {
      options->job.ignoreAlpha = true;
    } else if (argument == "--visible-only") {
      options->job.visibleOnly = true;
    } else if (argument == "--groups-as-folders") {
      options->job.groupsAsFolders = true;
    } else if (argument == "--fast") {
      options->job.fastPng = true;
    } else if (argument == "--ignore-case") {
      options->job.ignoreCase = true;
    } else if (argument == "--name") {
      if (!takeValue(&options->job.nameTemplate)) return Usage("--name needs a TEMPLATE");
    } else if (argument == "--only" || argument == "--skip") {
      std::string pattern;
      if (!takeValue(&pattern)) return Usage(argument + " needs a PATTERN");
      bool& given = argument == "--only" ? onlyGiven : skipGiven;
      std::vector<std::string>& list = argument == "--only" ? options->job.only : options->job.skip;
      if (!given) list.clear();
      given = true;
      list.push_back(pattern);
    } else if (argument == "--as-shown") {
      options->job.asShown = true;
    } else if (argument == "--extent") {
      std::string extent;
      if (!takeValue(&extent) || !ParseExtent(extent, &options->job)) {
        return Usage("--extent needs layer, trim or canvas");
      }
    } else if (argument == "--pad") {
      std::string pad;
      if (!takeValue(&pad) || !ParsePad(pad, &options->job)) return Usage("--pad needs a number from 0 to 4096");
    } else if (argument == "--color") {
      std::string colour;
      if (!takeValue(&colour) || (colour != "keep" && colour != "srgb")) return Usage("--color needs keep or srgb");
      options->job.colour = colour == "srgb" ? ColourHandling::kSrgb : ColourHandling::kKeep;
    } else if (argument == "--webp-quality" || argument == "--jpeg-quality") {
      std::string quality;
      int* into = argument == "--webp-quality" ? &options->job.webpQuality : &options->job.jpegQuality;
      if (!takeValue(&quality) || !ParseQuality(quality, into)) return Usage(argument + " needs a number from 0 to 100");
    } else if (argument == "--background" || argument == "--gif-matte") {
      std::string colour;
      int* into = argument == "--background" ? &options->job.background : &options->job.gifMatte;
      if (!takeValue(&colour) || !ParseColour(colour, into)) {
        return Usage(argument + " needs a colour as RRGGBB, such as ffffff");
      }
    } else if (argument == "--gif-dither") {
      options->job.gifDither = true;
    } else if (argument == "--layers") {
      std::string layers;
      if (!takeValue(&layers) || !ParseLayers(layers, &options->job)) {
        return Usage("--layers needs record indexes and ranges, such as 3,5-7");
      }
    } else if (argument == "--preset") {
      std::string ignored;  // read first
      if (!takeValue(&ignored)) return Usage("--preset needs a FILE");
    } else if (argument == "-t" || argument == "--threads") {
      std::string threads;
      if (!takeValue(&threads) || !ParseCount(threads, 1, &options->threads)) {
        return Usage("--threads needs a number from 1 to 256");
      }
    } else if (argument == "-j" || argument == "--jobs") {
      std::string jobs;
      if (!takeValue(&jobs) || !ParseCount(jobs, 0, &options->jobs)) {
        return Usage("--jobs needs a number from 0 (one per core) to 256");
      }
    } else if (argument == "--formats") {
      std::string formats;
      if (!takeValue(&formats) || !ParseFormats(formats, &options->job)) {
        return Usage("--formats needs one or more of " + OutputFormatNames() + ", separated by commas");
      }
    } else {
      return Usage("unknown option '" + argument + "'");
    }
    if (inlineValue && !valueTaken) return Usage(argument + " takes no value");
  }
  if (options->job.pad > 0 && options->job.extent == Extent::kCanvas) {
    return Usage("--pad does not go with --extent canvas: the image is the canvas");
  }
  if (std::string problem; !LayerNamer::Create(options->job, "", &problem)) {
    return Usage("--name: " + problem + " " + kNameFieldsSentence);
  }
  if (options->list) {
    if (operands.empty()) return Usage("expected SOURCE...");
    options->sources = operands;
  } else {
    if (operands.size() < 2) return Usage("expected SOURCE... and OUTPUT_FOLDER");
    options->outputFolder = operands.back();
    operands.pop_back();
    options->sources = operands;
    // A guard against "peelbox-cli *.psd": the last document is no folder.
    std::error_code ignored;
    if (std::filesystem::exists(options->outputFolder, ignored) &&
        !std::filesystem::is_directory(options->outputFolder, ignored)) {
      return Usage("'" + options->outputFolder + "' is not a folder (the last operand is the OUTPUT_FOLDER)");
    }
    if (!std::filesystem::exists(options->outputFolder, ignored) && NamesADocument(options->outputFolder)) {
      return Usage("OUTPUT_FOLDER '" + options->outputFolder + "' looks like a document; give an output folder last");
    }
  }
  options->job.listOnly = options->list;
  Parsed parsed;
  parsed.run = true;
  return parsed;
}

}  // namespace peelbox::cli
