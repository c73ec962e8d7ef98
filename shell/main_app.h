// The program's run: restore the settings into the main dialog, run it, and
// store them again however it ended.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace peelbox::shell {

class MainDialog;

// What the command line asks for: peelbox [--preset FILE] [DOCUMENT...]
// [FOLDER]. A folder is the output folder; documents form the queue.
struct StartArguments {
  QStringList documents;  // absolute
  QString outputFolder;   // absolute; empty for the remembered one
  QString presetPath;
  bool run = true;  // false: print `out` or `error` and end with `exit`
  int exit = 0;
  QString out;
  QString error;
};

StartArguments ParseStartArguments(const QStringList& arguments);  // without the program's name

class MainApp {
 public:
  virtual ~MainApp() = default;
  int InitInstance(QSettings& store, const StartArguments& arguments);
  // `openWith`: a document to start with (the desktop's "Open with"), over
  // the remembered one; empty for none.
  int InitInstance(QSettings& store, const QString& openWith = QString());

 protected:
  // Runs the dialog modally; tests drive it instead.
  virtual void RunDialog(MainDialog& dialog);
};

}  // namespace peelbox::shell
