// Carries the worker's sends to the main dialog's thread and waits until the
// dialog has handled them, as a synchronous window message would.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "shell/rip_thread.h"

namespace peelbox::shell {

class MainDialog;

class DialogBridge : public QObject, public RipWindow {
  Q_OBJECT

 public:
  explicit DialogBridge(MainDialog* dialog);

  void Send(uint32_t message, const char* text, uint32_t lParam) override;
  void ShowReport(const std::string& text, const std::string& filesFolder) override;
  bool ConfirmReplace(size_t existing) override;

 private:
  // Runs `handler` on the dialog's thread and returns once it has run.
  void RunOnDialogThread(const std::function<void()>& handler);

  MainDialog* dialog_;
};

}  // namespace peelbox::shell
