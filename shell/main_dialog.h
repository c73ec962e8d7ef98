// The main dialog: the source file (or a queue of documents), the output
// folder, the ignore-alpha choice, Start and Close, the status and progress
// of a running job; below them the document's layers and the options, with
// presets.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "export/export_options.h"
#include "export/messages.h"
#include "psd/stop_token.h"

class QCheckBox;
class QMimeData;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStringListModel;
class QToolButton;

namespace peelbox::shell {

class DialogBridge;
class LayerTree;
class OptionsPanel;

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
  // Runs the report modally over this dialog until it is closed; with Open
  // folder when the job wrote files into `filesFolder`.
  virtual void ShowReport(const QString& text, const QString& filesFolder);
  // The line the status keeps after the job: "Done: 5 layers, 10 files."
  void OnRipResult(const QString& text);
  // Asks once per job before files are replaced.
  bool ConfirmReplace(size_t existing);

  // From Start until the job's report has been closed.
  bool JobRunning() const { return jobActive_; }

  // How Browse and Select ask the user: the chosen path, or none when the
  // choice was cancelled. Tests put their own in place.
  std::function<std::optional<QString>(const QString& current)> chooseSourceFile;
  std::function<std::optional<QString>(const QString& current)> chooseOutputFolder;
  // Where Save (`save`) or Load preset write or read; tests put their own.
  std::function<std::optional<QString>(bool save)> choosePresetFile;
  // "N files in the output folder will be replaced.": true for Replace.
  std::function<bool(size_t existing)> askReplace;

  // Reads a preset into the options and shows them; false with the reason
  // in the status line.
  bool LoadPresetFile(const QString& path);
  bool SavePresetFile(const QString& path);

  LayerTree* layerTree() const { return layerTree_; }
  // The documents Start rips: the queue when there are several, else the
  // source file.
  QStringList Sources() const;
  void SetQueue(const QStringList& documents);

  int ignoreAlpha = 0;
  QString outputFolder;
  QString sourcePath;
  QStringList queue;  // several documents, shown as "3 documents"
  ExportOptions options;
  bool optionsShown = false;
  QStringList recent;    // the documents the source box drops down
  QString startMessage;  // shown in the status line when the dialog opens

 public slots:
  void OnBrowse();
  void OnSelect();
  void OnOK();  // Start, also by Enter
  void OnLoadPreset();
  void OnSavePreset();
  void ShowOptions(bool shown);
  void reject() override;  // Close, Escape and the close box; Stop while a job runs

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void OnInitDialog();
  void SetInputsEnabled(bool enabled);
  void SourceChanged();
  void UpdateExample();
  void PlaceLower();
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
  QWidget* lower_;
  LayerTree* layerTree_;
  OptionsPanel* optionsPanel_;
  QToolButton* optionsButton_;
  QPushButton* loadPresetButton_;
  QPushButton* savePresetButton_;
  QStringListModel* recentModel_;
  QString resultLine_;

  // What a drop would set: the source files or the output folder.
  struct Drop {
    QStringList paths;
    bool folder = false;
  };
  std::optional<Drop> DropOf(const QMimeData* data) const;

  std::unique_ptr<DialogBridge> bridge_;
  std::thread worker_;
  bool jobActive_ = false;
  bool initialized_ = false;
  // The running job's stop request, shared with it; the dialog only sets it.
  StopToken stopToken_;
  // The controls' rectangles at the template's width; a wider window
  // stretches the boxes and the bar and moves the buttons along.
  struct Stretch {
    QWidget* control;
    QRect base;
    bool grows;  // else it moves
  };
  std::vector<Stretch> stretches_;
  int baseWidth_ = 0;
  int templateHeight_ = 0;
};

// "3 documents": how the source box shows a queue.
QString QueueText(const QStringList& documents);

// Where the folder dialog opens: the folder when it exists, else its nearest
// existing parent, else the home folder.
QString StartFolder(const QString& folder);

}  // namespace peelbox::shell
