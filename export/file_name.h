// The file-name stem of a layer.
#pragma once

#include <string>

namespace peelbox {

// Characters that are unsafe in file names; each becomes "_".
inline constexpr char kUnsafeFileNameCharacters[] = "?!@#$%^&*/\\=:\"',";

// The layer name with every unsafe character replaced one for one, so the
// stem is as long as the name. Every other byte stays.
std::string MakeFileName(std::string name);

// The platform's own path separator, appended to a folder that does not
// end in "/" or "\\" yet, so that the folder can prefix a file name. An
// empty folder stays empty (the current directory).
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
std::string WithSeparator(std::string folder);

}  // namespace peelbox
