// File names: the stem a layer's files get, so that every layer of a job
// lands in files of its own under the name the user gave it.
#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace peelbox {

// Characters that are unsafe in file names; each becomes "_", as does every
// control character.
inline constexpr char kUnsafeFileNameCharacters[] = "?!@#$%^&*/\\=:\"',";

// The longest stem, in bytes: with " (n)" and an extension a file name stays
// within the 255 bytes common file systems allow.
inline constexpr size_t kMaxStemBytes = 240;

// The stem for a layer of this (UTF-8) name: unsafe and control characters
// and a leading "." become "_"; an empty or blank stem becomes "Layer N", N
// being the record's position counted from 1 at the bottom; a longer stem is
// cut at a character boundary to kMaxStemBytes.
std::string MakeFileName(std::string name, size_t position);

// Cuts the text to at most `size` bytes without splitting a UTF-8 sequence.
void CutAtCharacter(std::string* text, size_t size);

// The text with ASCII letters in lower case: names that differ only so are
// the same file on a case-insensitive file system.
std::string FoldedCase(std::string text);

// The stems one job has given out. Stems that differ only in the case of
// ASCII letters are the same file on a case-insensitive file system.
class StemRegistry {
 public:
  // The stem itself when no earlier claim holds it, else the stem with
  // " (2)", " (3)", ...: the lowest number no earlier claim holds.
  std::string Claim(const std::string& stem);

 private:
  std::set<std::string> taken_;  // ASCII letters folded to lower case
};

// The platform's own path separator, appended to a folder that does not
// end in "/" or "\\" yet, so that the folder can prefix a file name. An
// empty folder stays empty.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
std::string WithSeparator(std::string folder);

}  // namespace peelbox
