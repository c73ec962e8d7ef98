#include "export/file_name.h"

namespace peelbox {

std::string MakeFileName(std::string name) {
  for (size_t at = name.find_first_of(kUnsafeFileNameCharacters); at != std::string::npos;
       at = name.find_first_of(kUnsafeFileNameCharacters, at + 1)) {
    name[at] = '_';
  }
  return name;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder.push_back(kPathSeparator);
  return folder;
}

}  // namespace peelbox
