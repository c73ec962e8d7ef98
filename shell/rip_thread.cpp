#include "shell/rip_thread.h"

#include "export/report.h"
#include "export/rip_job.h"

namespace peelbox::shell {

unsigned RipThreadProc(std::unique_ptr<RipRequest> request) {
  if (!request) return 1;
  RipWindow* window = request->window;
  window->Send(WM_RIP_STARTED, nullptr, 0);

  auto job = std::make_unique<RipJob>(request->sourcePath, request->outputFolder, request->ignoreAlpha, window);
  job->stopToken = request->stop;
  const int32_t result = job->Run();
  window->Send(WM_RIP_STATUS, "Reporting...", PackProgress(100));

  const JobSummary summary = job->Summary(result);
  window->ShowReport(ReportText(summary), job->FilesSaved() > 0 ? request->outputFolder : std::string());
  job.reset();  // the document goes with it
  const RipOutcome outcome = result != 0 ? kRipFailed : summary.stopped ? kRipStopped : kRipSucceeded;
  window->Send(WM_RIP_DONE, nullptr, outcome);
  request.reset();
  return 0;
}

}  // namespace peelbox::shell
