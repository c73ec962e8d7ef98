#include "shell/settings.h"

namespace peelbox::shell {

namespace {

constexpr char kGroup[] = "Settings";
constexpr char kSourceFile[] = "Source File";
constexpr char kOutputFolder[] = "Output Folder";
constexpr char kIgnoreAlpha[] = "Ignore Alpha";
constexpr char kOptions[] = "Options";
constexpr char kOptionsShown[] = "Options Shown";
constexpr char kWidth[] = "Window Width";
constexpr char kRecent[] = "Recent Documents";

}  // namespace

std::unique_ptr<QSettings> OpenSettingsStore() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Tessmark", "Peelbox v1.0");
}

AppSettings LoadSettings(QSettings& store) {
  store.beginGroup(kGroup);
  AppSettings settings;
  settings.sourcePath = store.value(kSourceFile, QString()).toString();
  settings.outputFolder = store.value(kOutputFolder, QString()).toString();
  settings.ignoreAlpha = store.value(kIgnoreAlpha, 0).toInt();
  settings.options = store.value(kOptions, QString()).toString();
  settings.optionsShown = store.value(kOptionsShown, false).toBool();
  settings.width = store.value(kWidth, 0).toInt();
  settings.recent = store.value(kRecent, QStringList()).toStringList().mid(0, kRecentDocuments);
  store.endGroup();
  return settings;
}

void SaveSettings(QSettings& store, const AppSettings& settings) {
  store.beginGroup(kGroup);
  store.setValue(kSourceFile, settings.sourcePath);
  store.setValue(kOutputFolder, settings.outputFolder);
  store.setValue(kIgnoreAlpha, settings.ignoreAlpha);
  store.setValue(kOptions, settings.options);
  store.setValue(kOptionsShown, settings.optionsShown);
  store.setValue(kWidth, settings.width);
  store.setValue(kRecent, settings.recent);
  store.endGroup();
  store.sync();
}

QStringList WithRecent(QStringList recent, const QStringList& used) {
  for (auto path = used.rbegin(); path != used.rend(); ++path) {
    recent.removeAll(*path);
    recent.prepend(*path);
  }
  return recent.mid(0, kRecentDocuments);
}

}  // namespace peelbox::shell
