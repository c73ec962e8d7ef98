// The report of a finished job: one read-only box with the text, Done, and
// Open folder when the job wrote files.
#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

namespace peelbox::shell {

class ReportDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ReportDialog(QWidget* parent = nullptr);

  // Shows `results` with no text selected, scrolled to the start, in a
  // window large enough for its longest line (up to about two thirds of the
  // screen).
  void SetResults(const QString& results);
  QString results() const { return results_; }
  // The folder Open folder opens; empty hides the button.
  void SetFilesFolder(const QString& folder);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ClearSelection();
  void OpenFolder();

  QString results_;
  QString filesFolder_;
  QPlainTextEdit* resultsBox_;
  QPushButton* doneButton_;
  QPushButton* openFolderButton_;
};

}  // namespace peelbox::shell
