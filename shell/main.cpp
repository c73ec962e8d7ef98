// peelbox: the desktop program, one dialog.
//   peelbox [--preset FILE] [DOCUMENT...] [FOLDER]
#include <QApplication>
#include <cstdio>

#include "shell/app_icon.h"
#include "shell/main_app.h"
#include "shell/settings.h"

int main(int argc, char** argv) {
  // Help and version need no display.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  const peelbox::shell::StartArguments start = peelbox::shell::ParseStartArguments(arguments);
  if (!start.run) {
    std::fputs(start.out.toLocal8Bit().constData(), stdout);
    std::fputs(start.error.toLocal8Bit().constData(), stderr);
    return start.exit;
  }
  QApplication application(argc, argv);
  application.setWindowIcon(peelbox::shell::ApplicationIcon());
  application.setDesktopFileName(PEELBOX_APP_ID);
  const auto store = peelbox::shell::OpenSettingsStore();
  peelbox::shell::MainApp app;
  return app.InitInstance(*store, start);
}
