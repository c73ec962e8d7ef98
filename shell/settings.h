// The values Peelbox remembers between runs, in one place: where they are
// stored, their keys and their defaults.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

namespace peelbox::shell {

struct AppSettings {
  QString sourcePath;         // "Source File", default empty
  QString outputFolder;       // "Output Folder", default empty
  int ignoreAlpha = 0;        // "Ignore Alpha", default 0
  QString options{};          // "Options": a preset's text, default empty (the defaults)
  bool optionsShown = false;  // "Options Shown"
  int width = 0;              // "Window Width", 0 for the template's
  QStringList recent{};       // "Recent Documents", newest first
};

// The per-user store: company "Tessmark", application "Peelbox v1.0" (the
// name stays v1.0 so that earlier settings are found), group "Settings".
std::unique_ptr<QSettings> OpenSettingsStore();

AppSettings LoadSettings(QSettings& store);
void SaveSettings(QSettings& store, const AppSettings& settings);

// `recent` with `used` first, without repeats, at most kRecentDocuments.
QStringList WithRecent(QStringList recent, const QStringList& used);
constexpr int kRecentDocuments = 8;

}  // namespace peelbox::shell
