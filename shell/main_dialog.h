// The main dialog: the source file, the output folder, the ignore-alpha
// choice, Start and Close, and the status and progress of a running job.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "export/messages.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace peelbox::shell {

class DialogBridge;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  explicit MainDialog(QWidget* parent = nullptr);
  ~MainDialog() override;

  // Exchanges the fields with the controls: from the controls when
  // `fromControls`, else to them. Either way the output folder ends with a
  // separator afterwards (when it is not empty).
  void UpdateData(bool fromControls);

  // Handlers of the job's messages; each runs on this dialog's thread while
  // the worker waits.
  virtual void OnRipStarted();
  virtual void OnRipStatus(const QString& text, uint32_t lParam);
  virtual void OnRipDone(RipOutcome outcome);
  // Runs the report modally over this dialog until it is closed.
  virtual void ShowReport(const QString& text);

  // From Start until the job's report has been closed.
  bool JobRunning() const { return jobActive_; }

  // How Browse and Select ask the user: the chosen path, or none when the
  // choice was cancelled. Tests put their own in place.
  std::function<std::optional<QString>(const QString& current)> chooseSourceFile;
  std::function<std::optional<QString>(const QString& current)> chooseOutputFolder;

  int ignoreAlpha = 0;
  QString outputFolder;
  QString sourcePath;

 public slots:
  void OnBrowse();
  void OnSelect();
  void OnOK();      // Start, also by Enter
  void reject() override;  // Close, Escape and the close box

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnInitDialog();
  void SetInputsEnabled(bool enabled);
  void ResetProgress();
  std::optional<QString> AskForSourceFile(const QString& current);
  std::optional<QString> AskForOutputFolder(const QString& current);

  QLineEdit* outputFolderBox_;
  QCheckBox* ignoreAlphaBox_;
  QLineEdit* sourceFileBox_;
  QPushButton* browseButton_;
  QPushButton* selectButton_;
  QPushButton* startButton_;
  QPushButton* closeButton_;
  QGroupBox* statusCaption_;
  QProgressBar* progressBar_;

  std::unique_ptr<DialogBridge> bridge_;
  std::thread worker_;
  bool jobActive_ = false;
  bool initialized_ = false;
};

}  // namespace peelbox::shell
