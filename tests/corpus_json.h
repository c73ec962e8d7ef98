// The independent decoder's results for a corpus document.
#pragma once

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/helpers.h"

namespace peelbox::test {

// expected/<file name>.json beside the corpus documents.
inline nlohmann::json ExpectedFor(const std::filesystem::path& document) {
  std::ifstream in(CorpusDir() / "expected" / (document.filename().string() + ".json"));
  return nlohmann::json::parse(in);
}

}  // namespace peelbox::test
