// A job on a worker thread: the request that carries its parameters from the
// dialog, the window side it reports to, and the thread procedure.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "export/export_options.h"
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
  // Whether `existing` files of the output folder may be replaced.
  virtual bool ConfirmReplace(size_t existing) = 0;
};

struct RipRequest {
  // One after another; several go into folders of their own inside the
  // output folder, named after them.
  std::vector<std::string> sources;
  std::string outputFolder;  // ends with a separator when not empty
  ExportOptions options;
  RipWindow* window = nullptr;
  // The dialog sets it to ask the job to stop; the job polls it.
  StopToken stop;
};

// Runs the documents' jobs: started, each job's statuses, "Reporting...",
// one report of every document (waiting until it is closed), the result
// line, then done. A stop ends the queue. Owns and frees the request.
// Returns 0, or 1 when there is no request.
unsigned RipThreadProc(std::unique_ptr<RipRequest> request);

}  // namespace peelbox::shell
