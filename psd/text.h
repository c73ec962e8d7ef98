// Layer names into UTF-8: from the Unicode name block (UTF-16), and from the
// Pascal name, which older writers stored in Mac OS Roman. Knows no section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace peelbox {

// The length of the well-formed UTF-8 sequence at `at`, or 0 (no overlong
// forms, no surrogates, nothing above U+10FFFF).
size_t Utf8SequenceLength(const std::string& text, size_t at);
bool IsValidUtf8(const std::string& text);

// `count` big-endian UTF-16 code units as UTF-8; a lone surrogate becomes
// U+FFFD.
std::string Utf16ToUtf8(const uint8_t* units, size_t count);

// Bytes in Mac OS Roman (as Python's mac_roman reads them) as UTF-8.
std::string MacRomanToUtf8(const std::string& bytes);

}  // namespace peelbox
