// Status lines of a running job on stderr: one live line with a bar on a
// terminal, plain lines otherwise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "export/messages.h"

namespace peelbox::cli {

class ProgressPrinter : public RipMessageReceiver {
 public:
  // `prefix` starts every line: the document's name in a batch's log.
  ProgressPrinter(std::FILE* stream, bool live, std::string prefix = {});
  void Send(uint32_t message, const char* text, uint32_t lParam) override;
  // Ends the live line, so that what follows starts on a line of its own.
  void Finish();

 private:
  std::FILE* stream_;
  bool live_;
  std::string prefix_;
  bool lineOpen_ = false;
  int width_ = 80;
};

// One status as a line: "[ 37%] text" or, live, "[#######.......]  37% text"
// cut to `width` columns.
std::string FormatStatusLine(const std::string& text, int position, int maximum, bool live, int width);

}  // namespace peelbox::cli
