#include "export/preset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "export/name_template.h"
#include "export/output_format.h"

namespace peelbox {

namespace {

using Json = nlohmann::ordered_json;

template <bool ExportOptions::*field>
bool ReadFlag(const Json& value, ExportOptions* options) {
  if (!value.is_boolean()) return false;
  options->*field = value.get<bool>();
  return true;
}

template <bool ExportOptions::*field>
Json WriteFlag(const ExportOptions& options) {
  return options.*field;
}

template <std::vector<std::string> ExportOptions::*field>
bool ReadList(const Json& value, ExportOptions* options) {
  if (!value.is_array()) return false;
  std::vector<std::string> list;
  for (const Json& item : value) {
    if (!item.is_string()) return false;
    list.push_back(item.get<std::string>());
  }
  options->*field = std::move(list);
  return true;
}

template <std::vector<std::string> ExportOptions::*field>
Json WriteList(const ExportOptions& options) {
  return options.*field;
}

bool ReadFormats(const Json& value, ExportOptions* options) {
  if (!value.is_string()) return false;
  std::vector<std::string> formats;
  std::stringstream list(value.get<std::string>());
  for (std::string format; std::getline(list, format, ',');) {
    if (FindOutputFormat(format) == nullptr) return false;
    formats.push_back(format);
  }
  if (formats.empty()) return false;
  options->formats = std::move(formats);
  return true;
}

Json WriteFormats(const ExportOptions& options) {
  std::string list;
  for (const std::string& format : options.formats) list += (list.empty() ? "" : ",") + format;
  return list;
}

constexpr std::pair<const char*, Extent> kExtents[] = {
    {"layer", Extent::kLayer}, {"trim", Extent::kTrim}, {"canvas", Extent::kCanvas}};

bool ReadExtent(const Json& value, ExportOptions* options) {
  if (!value.is_string()) return false;
  for (const auto& [name, extent] : kExtents) {
    if (value.get<std::string>() == name) {
      options->extent = extent;
      return true;
    }
  }
  return false;
}

Json WriteExtent(const ExportOptions& options) {
  for (const auto& [name, extent] : kExtents) {
    if (options.extent == extent) return name;
  }
  return "layer";
}

bool ReadPad(const Json& value, ExportOptions* options) {
  if (!value.is_number_integer()) return false;
  const int64_t pad = value.get<int64_t>();
  if (pad < 0 || pad > ExportOptions::kMaxPad) return false;
  options->pad = static_cast<int>(pad);
  return true;
}

Json WritePad(const ExportOptions& options) { return options.pad; }

bool ReadName(const Json& value, ExportOptions* options) {
  if (!value.is_string()) return false;
  std::string problem;
  if (!NameTemplate::Parse(value.get<std::string>(), &problem)) return false;
  options->nameTemplate = value.get<std::string>();
  return true;
}

Json WriteName(const ExportOptions& options) { return options.nameTemplate; }

bool ReadColour(const Json& value, ExportOptions* options) {
  if (!value.is_string() || (value != "keep" && value != "srgb")) return false;
  options->colour = value == "srgb" ? ColourHandling::kSrgb : ColourHandling::kKeep;
  return true;
}

Json WriteColour(const ExportOptions& options) { return options.colour == ColourHandling::kSrgb ? "srgb" : "keep"; }

// A quality from 0 to 100; for an optional one, null is none (-1).
template <int ExportOptions::*field, bool optional>
bool ReadQuality(const Json& value, ExportOptions* options) {
  if (optional && value.is_null()) {
    options->*field = -1;
    return true;
  }
  if (!value.is_number_integer() || value.get<int64_t>() < 0 || value.get<int64_t>() > 100) return false;
  options->*field = value.get<int>();
  return true;
}

// A colour as "RRGGBB"; for an optional one, null is none (-1).
template <int ExportOptions::*field, bool optional>
bool ReadRgb(const Json& value, ExportOptions* options) {
  if (optional && value.is_null()) {
    options->*field = -1;
    return true;
  }
  if (!value.is_string()) return false;
  const std::string text = value.get<std::string>();
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  options->*field = static_cast<int>(std::stoul(text, nullptr, 16));
  return true;
}

template <int ExportOptions::*field>
Json WriteNumber(const ExportOptions& options) {
  return options.*field < 0 ? Json() : Json(options.*field);
}

template <int ExportOptions::*field>
Json WriteRgb(const ExportOptions& options) {
  char text[8];
  std::snprintf(text, sizeof text, "%06x", options.*field & 0xFFFFFF);
  return options.*field < 0 ? Json() : Json(text);
}

// One row per option: a new option is a new row.
struct Key {
  const char* name;
  const char* expected;  // what the value must be, in words
  bool (*read)(const Json& value, ExportOptions* options);
  Json (*write)(const ExportOptions& options);
};

constexpr Key kKeys[] = {
    {"formats", "a list of formats such as \"png,gif\"", ReadFormats, WriteFormats},
    {"extent", "\"layer\", \"trim\" or \"canvas\"", ReadExtent, WriteExtent},
    {"pad", "a whole number from 0 to 4096", ReadPad, WritePad},
    {"as-shown", "true or false", ReadFlag<&ExportOptions::asShown>, WriteFlag<&ExportOptions::asShown>},
    {"name", "a name template such as \"{name}\"", ReadName, WriteName},
    {"only", "an array of patterns", ReadList<&ExportOptions::only>, WriteList<&ExportOptions::only>},
    {"skip", "an array of patterns", ReadList<&ExportOptions::skip>, WriteList<&ExportOptions::skip>},
    {"ignore-case", "true or false", ReadFlag<&ExportOptions::ignoreCase>, WriteFlag<&ExportOptions::ignoreCase>},
    {"visible-only", "true or false", ReadFlag<&ExportOptions::visibleOnly>, WriteFlag<&ExportOptions::visibleOnly>},
    {"groups-as-folders", "true or false", ReadFlag<&ExportOptions::groupsAsFolders>,
     WriteFlag<&ExportOptions::groupsAsFolders>},
    {"fast", "true or false", ReadFlag<&ExportOptions::fastPng>, WriteFlag<&ExportOptions::fastPng>},
    {"ignore-alpha", "true or false", ReadFlag<&ExportOptions::ignoreAlpha>, WriteFlag<&ExportOptions::ignoreAlpha>},
    {"color", "\"keep\" or \"srgb\"", ReadColour, WriteColour},
    {"webp-quality", "a whole number from 0 to 100, or null for lossless",
     ReadQuality<&ExportOptions::webpQuality, true>, WriteNumber<&ExportOptions::webpQuality>},
    {"jpeg-quality", "a whole number from 0 to 100", ReadQuality<&ExportOptions::jpegQuality, false>,
     WriteNumber<&ExportOptions::jpegQuality>},
    {"background", "a colour such as \"ffffff\"", ReadRgb<&ExportOptions::background, false>,
     WriteRgb<&ExportOptions::background>},
    {"gif-matte", "a colour such as \"ffffff\", or null for none", ReadRgb<&ExportOptions::gifMatte, true>,
     WriteRgb<&ExportOptions::gifMatte>},
    {"gif-dither", "true or false", ReadFlag<&ExportOptions::gifDither>, WriteFlag<&ExportOptions::gifDither>},
};

const Key* FindKey(const std::string& name) {
  for (const Key& key : kKeys) {
    if (name == key.name) return &key;
  }
  return nullptr;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadPreset(std::string_view text, ExportOptions* options, std::string* error) {
  const Json preset = Json::parse(text.begin(), text.end(), nullptr, false);  // no exceptions
  if (preset.is_discarded() || !preset.is_object()) {
    *error = "The preset is not a JSON object of options.";
    return false;
  }
  ExportOptions read = *options;
  for (const auto& [name, value] : preset.items()) {
    const Key* key = FindKey(name);
    if (key == nullptr) {
      *error = "The preset's key \"" + name + "\" is not an option.";
      return false;
    }
    if (!key->read(value, &read)) {
      *error = "The preset's key \"" + name + "\" needs " + key->expected + ".";
      return false;
    }
  }
  *options = std::move(read);
  return true;
}

std::string PresetText(const ExportOptions& options) {
  Json preset = Json::object();
  for (const Key& key : kKeys) preset[key.name] = key.write(options);
  return preset.dump(2) + "\n";
}

bool LoadPreset(const std::string& path, ExportOptions* options, std::string* error) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = "Cannot open the preset \"" + path + "\": " + std::strerror(errno) + ".";
    return false;
  }
  std::string text(kMaxPresetBytes + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file.get()));
  if (std::ferror(file.get())) {
    *error = "Cannot read the preset \"" + path + "\".";
    return false;
  }
  if (text.size() > kMaxPresetBytes) {
    *error = "The preset \"" + path + "\" is larger than a preset can be.";
    return false;
  }
  return ReadPreset(text, options, error);
}

bool SavePreset(const std::string& path, const ExportOptions& options, std::string* error) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  const std::string text = PresetText(options);
  if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
      std::fclose(file.release()) != 0) {
    *error = "Cannot write the preset \"" + path + "\": " + std::strerror(errno) + ".";
    return false;
  }
  return true;
}

std::vector<std::string> PresetKeys() {
  std::vector<std::string> keys;
  for (const Key& key : kKeys) keys.push_back(key.name);
  return keys;
}

}  // namespace peelbox
