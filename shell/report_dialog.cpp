#include "shell/report_dialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "shell/app_icon.h"
#include "shell/dialog_units.h"

namespace peelbox::shell {

ReportDialog::ReportDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Results: ");
  setWindowIcon(ApplicationIcon());
  const DialogUnits units(fontMetrics());
  setFixedSize(units.Size(227, 121));

  resultsBox_ = new QPlainTextEdit(this);
  resultsBox_->setObjectName("resultsBox");
  resultsBox_->setReadOnly(true);
  resultsBox_->setLineWrapMode(QPlainTextEdit::NoWrap);  // long lines scroll, they do not wrap
  resultsBox_->setTabChangesFocus(true);
  // Tab stops every eight average characters, as in a system edit box, so
  // that the counts line up.
  resultsBox_->setTabStopDistance(8.0 * resultsBox_->fontMetrics().averageCharWidth());
  resultsBox_->setGeometry(units.Rect(5, 5, 215, 90));

  doneButton_ = new QPushButton("&Done", this);
  doneButton_->setObjectName("doneButton");
  doneButton_->setDefault(true);
  doneButton_->setGeometry(units.Rect(170, 100, 50, 14));
  connect(doneButton_, &QPushButton::clicked, this, &QDialog::accept);
  setTabOrder(resultsBox_, doneButton_);
  resultsBox_->setFocus();
}

void ReportDialog::SetResults(const QString& results) {
  results_ = results;
  QString shown = results;
  shown.replace("\r\n", "\n");
  resultsBox_->setPlainText(shown);
  ClearSelection();
}

void ReportDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ClearSelection();  // however the focus arrives, nothing is selected
}

void ReportDialog::ClearSelection() {
  QTextCursor cursor = resultsBox_->textCursor();
  cursor.movePosition(QTextCursor::Start);
  resultsBox_->setTextCursor(cursor);
  resultsBox_->ensureCursorVisible();
}

}  // namespace peelbox::shell
