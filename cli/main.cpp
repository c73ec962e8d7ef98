// Until the export lands: loads a document and prints its status lines.
#include <cstdio>

#include "export/rip_job.h"

namespace {

class PrintingReceiver : public peelbox::RipMessageReceiver {
 public:
  void Send(uint32_t message, const char* text, uint32_t lParam) override {
    if (message == peelbox::WM_RIP_STATUS) std::fprintf(stderr, "[%3d%%] %s\n", peelbox::ProgressPosition(lParam), text);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SOURCE.psd\n", argv[0]);
    return 2;
  }
  PrintingReceiver receiver;
  peelbox::RipJob job(argv[1], "", 0, &receiver);
  const int32_t result = job.Run();
  std::printf("Result: %d\n", result);
  return result == 0 ? 0 : 1;
}
