// The program's run: restore the settings into the main dialog, run it, and
// store them again however it ended.
#pragma once

#include <QSettings>
#include <QString>

namespace peelbox::shell {

class MainDialog;

class MainApp {
 public:
  virtual ~MainApp() = default;
  // `openWith`: a document to start with (the desktop's "Open with"), over
  // the remembered one; empty for none.
  int InitInstance(QSettings& store, const QString& openWith = QString());

 protected:
  // Runs the dialog modally; tests drive it instead.
  virtual void RunDialog(MainDialog& dialog);
};

}  // namespace peelbox::shell
