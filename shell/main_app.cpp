#include "shell/main_app.h"

#include <QFile>
#include <QFileInfo>

#include "export/preset.h"
#include "shell/main_dialog.h"
#include "shell/settings.h"

namespace peelbox::shell {

namespace {

constexpr char kUsage[] =
    "Usage: peelbox [--preset FILE] [DOCUMENT...] [FOLDER]\n"
    "Opens Peelbox's window, which writes every layer of Photoshop documents\n"
    "(.psd, .psb) as image files. Several documents form a queue; a folder\n"
    "becomes the output folder.\n"
    "\n"
    "Options:\n"
    "      --preset FILE  start with the options of a preset (see peelbox-cli)\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n";

}  // namespace

StartArguments ParseStartArguments(const QStringList& arguments) {
  StartArguments start;
  bool operandsOnly = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (!operandsOnly && (argument == "-h" || argument == "--help")) {
      start.run = false;
      start.out = kUsage;
      return start;
    }
    if (!operandsOnly && (argument == "-V" || argument == "--version")) {
      start.run = false;
      start.out = QString("peelbox ") + PEELBOX_VERSION + "\n";
      return start;
    }
    if (!operandsOnly && (argument == "--preset" || argument.startsWith("--preset="))) {
      if (argument == "--preset" && i + 1 >= arguments.size()) {
        start = {};
        start.run = false;
        start.exit = 2;
        start.error = "peelbox: --preset needs a FILE\n";
        return start;
      }
      start.presetPath = argument == "--preset" ? arguments[++i] : argument.mid(9);
    } else if (!operandsOnly && argument == "--") {
      operandsOnly = true;
    } else if (!operandsOnly && argument.startsWith('-') && argument != "-") {
      start = {};
      start.run = false;
      start.exit = 2;
      start.error = "peelbox: unknown option '" + argument + "'\nTry 'peelbox --help'.\n";
      return start;
    } else if (QFileInfo(argument).isDir()) {
      start.outputFolder = QFileInfo(argument).absoluteFilePath();
    } else {
      start.documents.append(QFileInfo(argument).absoluteFilePath());
    }
  }
  return start;
}

int MainApp::InitInstance(QSettings& store, const QString& openWith) {
  StartArguments arguments;
  if (!openWith.isEmpty()) arguments.documents.append(QFileInfo(openWith).absoluteFilePath());
  return InitInstance(store, arguments);
}

int MainApp::InitInstance(QSettings& store, const StartArguments& arguments) {
  MainDialog dialog;
  const AppSettings restored = LoadSettings(store);
  dialog.sourcePath = arguments.documents.size() == 1 ? arguments.documents.first() : restored.sourcePath;
  if (arguments.documents.size() > 1) dialog.queue = arguments.documents;
  dialog.outputFolder = arguments.outputFolder.isEmpty() ? restored.outputFolder : arguments.outputFolder;
  dialog.ignoreAlpha = restored.ignoreAlpha;
  std::string ignored;  // remembered options that no longer read are forgotten
  ReadPreset(restored.options.toStdString(), &dialog.options, &ignored);
  dialog.options.ignoreAlpha = dialog.ignoreAlpha != 0;
  dialog.optionsShown = restored.optionsShown;
  dialog.recent = restored.recent;
  if (restored.width > dialog.width()) dialog.resize(restored.width, dialog.height());
  if (!arguments.presetPath.isEmpty()) {
    // A preset that cannot be read says why in the status line.
    if (std::string problem;
        LoadPreset(QFile::encodeName(arguments.presetPath).toStdString(), &dialog.options, &problem)) {
      dialog.ignoreAlpha = dialog.options.ignoreAlpha ? 1 : 0;
    } else {
      dialog.startMessage = QString::fromStdString(problem);
    }
  }
  RunDialog(dialog);
  // The fields as the last exchange or choice left them: text typed since is
  // not saved.
  AppSettings saved{dialog.sourcePath, dialog.outputFolder, dialog.ignoreAlpha};
  saved.options = QString::fromStdString(PresetText(dialog.options));
  saved.optionsShown = dialog.optionsShown;
  saved.width = dialog.width();
  saved.recent = dialog.recent;
  SaveSettings(store, saved);
  return 0;
}

void MainApp::RunDialog(MainDialog& dialog) { dialog.exec(); }

}  // namespace peelbox::shell
