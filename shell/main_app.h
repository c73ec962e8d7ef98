// The program's run: restore the settings into the main dialog, run it, and
// store them again however it ended.
#pragma once

#include <QSettings>

namespace peelbox::shell {

class MainDialog;

class MainApp {
 public:
  virtual ~MainApp() = default;
  int InitInstance(QSettings& store);

 protected:
  // Runs the dialog modally; tests drive it instead.
  virtual void RunDialog(MainDialog& dialog);
};

}  // namespace peelbox::shell
