// One request from start to end: load the document, export its layers, and
// report status and progress to the window that watches the job.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/messages.h"
#include "psd/document.h"

namespace peelbox {

class RipJob : public StatusSink {
 public:
  RipJob(std::string sourcePath, std::string outputFolder, int ignoreAlpha, RipMessageReceiver* window);
  ~RipJob() override;

  void SetSourcePath(std::string path) { sourcePath = std::move(path); }
  void SetOutputFolder(std::string folder) { outputFolder = std::move(folder); }
  void SetIgnoreAlpha(int ignore) { ignoreAlpha = ignore; }

  // 0, or the first failure's code.
  int32_t Run();

  // Sends WM_RIP_STATUS with the text and the position (0..100); nothing
  // without a window.
  void SendStatus(std::string text, int progress) override;

  RipMessageReceiver* window = nullptr;
  std::unique_ptr<PsdDocument> document;
  int ignoreAlpha = 0;
  std::string outputFolder;  // a plain prefix of every output path
  std::string sourcePath;
};

}  // namespace peelbox
