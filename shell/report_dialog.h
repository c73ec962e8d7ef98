// The report of a finished job: one read-only box with the text, and Done.
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

  // Shows `results` with no text selected, scrolled to the start.
  void SetResults(const QString& results);
  QString results() const { return results_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ClearSelection();

  QString results_;
  QPlainTextEdit* resultsBox_;
  QPushButton* doneButton_;
};

}  // namespace peelbox::shell
