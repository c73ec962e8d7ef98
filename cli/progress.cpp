#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "psd/format_text.h"

namespace peelbox::cli {

namespace {

constexpr int kBarWidth = 20;

int TerminalWidth(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string FormatStatusLine(const std::string& text, int position, int maximum, bool live, int width) {
  const int percent = maximum > 0 ? std::clamp(position * 100 / maximum, 0, 100) : 0;
  if (!live) return FormatText("[%3d%%] ", percent) + text;
  const int filled = percent * kBarWidth / 100;
  std::string line(1, '[');
  line.append(filled, '#').append(kBarWidth - filled, '.').append("] ");
  line += FormatText("%3d%% ", percent);
  line += text;
  // Stay on one line: never wrap at the terminal's edge.
  const size_t columns = static_cast<size_t>(std::max(width - 1, kBarWidth + 8));
  if (line.size() > columns) line.resize(columns);
  return line;
}

ProgressPrinter::ProgressPrinter(std::FILE* stream, bool live, std::string prefix)
    : stream_(stream), live_(live), prefix_(std::move(prefix)), width_(live ? TerminalWidth(stream) : 80) {}

void ProgressPrinter::Send(uint32_t message, const char* text, uint32_t lParam) {
  if (message != WM_RIP_STATUS) return;
  const std::string line =
      prefix_ + FormatStatusLine(text ? text : "", ProgressPosition(lParam), ProgressMaximum(lParam), live_, width_);
  if (live_) {
    // "\r" back to the start, "\33[K" clears what the previous line left.
    std::fprintf(stream_, "\r%s\33[K", line.c_str());
    lineOpen_ = true;
  } else {
    std::fprintf(stream_, "%s\n", line.c_str());
  }
  std::fflush(stream_);
}

void ProgressPrinter::Finish() {
  if (lineOpen_) std::fputc('\n', stream_);
  lineOpen_ = false;
}

}  // namespace peelbox::cli
