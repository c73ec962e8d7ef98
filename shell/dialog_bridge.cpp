#include "shell/dialog_bridge.h"

#include <QFile>
#include <QMetaObject>
#include <QString>
#include <QThread>

#include "shell/main_dialog.h"

namespace peelbox::shell {

DialogBridge::DialogBridge(MainDialog* dialog) : dialog_(dialog) {}

void DialogBridge::Send(uint32_t message, const char* text, uint32_t lParam) {
  // The text belongs to the sender and lives until this returns.
  RunOnDialogThread([&] {
    switch (message) {
      case WM_RIP_STARTED:
        dialog_->OnRipStarted();
        break;
      case WM_RIP_STATUS:
        dialog_->OnRipStatus(QString::fromUtf8(text ? text : ""), lParam);
        break;
      case WM_RIP_RESULT:
        dialog_->OnRipResult(QString::fromUtf8(text ? text : ""));
        break;
      case WM_RIP_DONE:
        dialog_->OnRipDone(static_cast<RipOutcome>(lParam));
        break;
      default:
        break;
    }
  });
}

void DialogBridge::ShowReport(const std::string& text, const std::string& filesFolder) {
  RunOnDialogThread([&] {
    dialog_->ShowReport(QString::fromUtf8(text.c_str()), QFile::decodeName(QByteArray::fromStdString(filesFolder)));
  });
}

bool DialogBridge::ConfirmReplace(size_t existing) {
  bool replace = false;
  RunOnDialogThread([&] { replace = dialog_->ConfirmReplace(existing); });
  return replace;
}

void DialogBridge::RunOnDialogThread(const std::function<void()>& handler) {
  if (QThread::currentThread() == dialog_->thread()) {
    handler();
  } else {
    QMetaObject::invokeMethod(dialog_, handler, Qt::BlockingQueuedConnection);
  }
}

}  // namespace peelbox::shell
