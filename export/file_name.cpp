#include "export/file_name.h"

#include <algorithm>

#include "psd/format_text.h"

namespace peelbox {

namespace {

bool Unsafe(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::string_view(kUnsafeFileNameCharacters).find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

void CutAtCharacter(std::string* text, size_t size) {
  if (text->size() <= size) return;
  while (size > 0 && (static_cast<unsigned char>((*text)[size]) & 0xC0) == 0x80) --size;
  text->resize(size);
}

std::string FoldedCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

std::string MakeFileName(std::string name, size_t position) {
  std::replace_if(name.begin(), name.end(), [](char c) { return Unsafe(static_cast<unsigned char>(c)); }, '_');
  if (!name.empty() && name.front() == '.') name.front() = '_';  // no hidden files
  if (name.find_first_not_of(' ') == std::string::npos) return FormatText("Layer %zu", position);
  CutAtCharacter(&name, kMaxStemBytes);
  return name;
}

std::string StemRegistry::Claim(const std::string& stem) {
  std::string claimed = stem;
  for (int number = 2; !taken_.insert(FoldedCase(claimed)).second; ++number) {
    claimed = stem + FormatText(" (%d)", number);
  }
  return claimed;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder.push_back(kPathSeparator);
  return folder;
}

}  // namespace peelbox
