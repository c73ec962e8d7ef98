// peelbox: the desktop program, one dialog.
//   peelbox [DOCUMENT]
#include <QApplication>

#include "shell/app_icon.h"
#include "shell/main_app.h"
#include "shell/settings.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setWindowIcon(peelbox::shell::ApplicationIcon());
  application.setDesktopFileName(PEELBOX_APP_ID);
  const auto store = peelbox::shell::OpenSettingsStore();
  peelbox::shell::MainApp app;
  // "peelbox FILE", as the desktop's Open with runs it.
  const QStringList arguments = application.arguments();
  return app.InitInstance(*store, arguments.size() > 1 ? arguments[1] : QString());
}
