#include "shell/settings.h"

namespace peelbox::shell {

namespace {

constexpr char kGroup[] = "Settings";
constexpr char kSourceFile[] = "Source File";
constexpr char kOutputFolder[] = "Output Folder";
constexpr char kIgnoreAlpha[] = "Ignore Alpha";

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
  store.endGroup();
  return settings;
}

void SaveSettings(QSettings& store, const AppSettings& settings) {
  store.beginGroup(kGroup);
  store.setValue(kSourceFile, settings.sourcePath);
  store.setValue(kOutputFolder, settings.outputFolder);
  store.setValue(kIgnoreAlpha, settings.ignoreAlpha);
  store.endGroup();
  store.sync();
}

}  // namespace peelbox::shell
