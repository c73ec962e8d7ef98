// How the reader hands its status texts to whoever asked for the document.
#pragma once

#include <string>

namespace peelbox {

class StatusSink {
 public:
  virtual ~StatusSink() = default;
  // `progress` is a position in the job's 0..100 range.
  virtual void SendStatus(std::string text, int progress) = 0;
};

// printf-style formatting into a std::string of exactly the needed length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace peelbox
