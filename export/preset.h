// Presets: the options as a small JSON object whose keys are peelbox-cli's
// long option names ({"formats": "png", "extent": "trim", "only": ["UI/**"]}).
// Flags are booleans, numbers are numbers, and the repeatable options arrays
// of strings. A preset holds no selection of layers: that belongs to one
// document.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "export/export_options.h"

namespace peelbox {

// Sets the options the preset names, over `options`; the others keep their
// values. False, with *error naming the key in words, for text that is no
// JSON object, an unknown key or a bad value; `options` is then unchanged.
bool ReadPreset(std::string_view text, ExportOptions* options, std::string* error);
// Every key with the options' values, one per line.
std::string PresetText(const ExportOptions& options);

// The same through a file, which is untrusted and at most kMaxPresetBytes.
bool LoadPreset(const std::string& path, ExportOptions* options, std::string* error);
bool SavePreset(const std::string& path, const ExportOptions& options, std::string* error);

// The keys a preset knows, in the order PresetText writes them.
std::vector<std::string> PresetKeys();

inline constexpr size_t kMaxPresetBytes = 64 * 1024;

}  // namespace peelbox
