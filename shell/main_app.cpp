#include "shell/main_app.h"

#include <QFileInfo>

#include "shell/main_dialog.h"
#include "shell/settings.h"

namespace peelbox::shell {

int MainApp::InitInstance(QSettings& store, const QString& openWith) {
  MainDialog dialog;
  const AppSettings restored = LoadSettings(store);
  dialog.sourcePath = openWith.isEmpty() ? restored.sourcePath : QFileInfo(openWith).absoluteFilePath();
  dialog.outputFolder = restored.outputFolder;
  dialog.ignoreAlpha = restored.ignoreAlpha;
  RunDialog(dialog);
  // The fields as the last exchange or choice left them: text typed since is
  // not saved.
  SaveSettings(store, {dialog.sourcePath, dialog.outputFolder, dialog.ignoreAlpha});
  return 0;
}

void MainApp::RunDialog(MainDialog& dialog) { dialog.exec(); }

}  // namespace peelbox::shell
