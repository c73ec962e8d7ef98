// peelbox: the desktop program, one dialog.
//   peelbox [--preset FILE] [DOCUMENT...] [FOLDER]
#include <QApplication>
#include <cstdio>

#include "shell/app_icon.h"
#include "shell/main_app.h"
#include "shell/settings.h"

int main(int argc, char** argv) {
  // Help and version need no display; Qt's own options (-platform, ...) are
  // taken out by QApplication before the rest is read.
  QStringList raw;
  for (int i = 1; i < argc; ++i) raw.append(QString::fromLocal8Bit(argv[i]));
  if (const auto early = peelbox::shell::ParseStartArguments(raw); !early.run && !early.out.isEmpty()) {
    std::fputs(early.out.toLocal8Bit().constData(), stdout);
    return early.exit;
  }
  QApplication application(argc, argv);
  const peelbox::shell::StartArguments start = peelbox::shell::ParseStartArguments(application.arguments().mid(1));
  if (!start.run) {
    std::fputs(start.out.toLocal8Bit().constData(), stdout);
    std::fputs(start.error.toLocal8Bit().constData(), stderr);
    return start.exit;
  }
  application.setWindowIcon(peelbox::shell::ApplicationIcon());
  application.setDesktopFileName(PEELBOX_APP_ID);
  const auto store = peelbox::shell::OpenSettingsStore();
  peelbox::shell::MainApp app;
  return app.InitInstance(*store, start);
}
