// A job on a worker thread: the request that carries its parameters from the
// dialog, the window side it reports to, and the thread procedure.
#pragma once

#include <memory>
#include <string>

#include "export/messages.h"
#include "psd/stop_token.h"

namespace peelbox::shell {

// What the worker needs of the dialog: the three messages, each handled
// before the send returns, and a report shown modally until it is closed.
// `filesFolder` is the folder the job wrote files into; empty when it wrote
// none.
class RipWindow : public RipMessageReceiver {
 public:
  virtual void ShowReport(const std::string& text, const std::string& filesFolder) = 0;
};

struct RipRequest {
  std::string sourcePath;
  std::string outputFolder;  // ends with a separator when not empty
  int ignoreAlpha = 0;
  RipWindow* window = nullptr;
  // The dialog sets it to ask the job to stop; the job polls it.
  StopToken stop;
};

// Runs one job: started, the job's statuses, "Reporting...", the report
// (waiting until it is closed), then done. Owns and frees the request.
// Returns 0, or 1 when there is no request.
unsigned RipThreadProc(std::unique_ptr<RipRequest> request);

}  // namespace peelbox::shell
