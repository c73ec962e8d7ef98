// printf-style formatting into a std::string, for status texts, messages and
// file names alike.
#pragma once

#include <string>

namespace peelbox {

// Exactly the needed length; an encoding error gives an empty string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace peelbox
