#include "shell/report_dialog.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QUrl>
#include <algorithm>

#include "shell/app_icon.h"
#include "shell/dialog_units.h"

namespace peelbox::shell {

namespace {

// Template 103, in dialog units. A larger window grows the box and keeps the
// buttons in the bottom right corner.
constexpr int kWidth = 227, kHeight = 121;

QRect ResultsBoxRect(const DialogUnits& units) { return units.Rect(5, 5, 215, 90); }
QRect DoneRect(const DialogUnits& units) { return units.Rect(170, 100, 50, 14); }
QRect OpenFolderRect(const DialogUnits& units) { return units.Rect(115, 100, 50, 14); }

}  // namespace

ReportDialog::ReportDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Results: ");
  setWindowIcon(ApplicationIcon());
  const DialogUnits units(fontMetrics());
  setMinimumSize(units.Size(kWidth, kHeight));
  resize(units.Size(kWidth, kHeight));

  resultsBox_ = new QPlainTextEdit(this);
  resultsBox_->setObjectName("resultsBox");
  resultsBox_->setReadOnly(true);
  resultsBox_->setLineWrapMode(QPlainTextEdit::NoWrap);  // long lines scroll, they do not wrap
  resultsBox_->setTabChangesFocus(true);
  // Tab stops every eight average characters, as in a system edit box, so
  // that the counts line up.
  resultsBox_->setTabStopDistance(8.0 * resultsBox_->fontMetrics().averageCharWidth());

  openFolderButton_ = new QPushButton("&Open folder", this);
  openFolderButton_->setObjectName("openFolderButton");
  openFolderButton_->setAutoDefault(false);
  openFolderButton_->hide();
  connect(openFolderButton_, &QPushButton::clicked, this, &ReportDialog::OpenFolder);

  doneButton_ = new QPushButton("&Done", this);
  doneButton_->setObjectName("doneButton");
  doneButton_->setDefault(true);
  connect(doneButton_, &QPushButton::clicked, this, &QDialog::accept);
  setTabOrder(resultsBox_, openFolderButton_);
  setTabOrder(openFolderButton_, doneButton_);
  resultsBox_->setFocus();
}

void ReportDialog::SetResults(const QString& results) {
  results_ = results;
  QString shown = results;
  shown.replace("\r\n", "\n");
  resultsBox_->setPlainText(shown);
  ClearSelection();

  // Wide and tall enough for every line, within two thirds of the screen.
  const QFontMetrics metrics = resultsBox_->fontMetrics();
  int widest = 0;
  const QStringList lines = shown.split('\n');
  for (const QString& line : lines) {
    QString expanded;  // tabs as the box draws them: to the next stop
    for (const QChar c : line) {
      if (c != '\t') {
        expanded += c;
        continue;
      }
      const int stop = 8 * metrics.averageCharWidth();
      const int at = metrics.horizontalAdvance(expanded);
      widest = std::max(widest, (at / stop + 1) * stop);
      expanded += "        ";
    }
    widest = std::max(widest, metrics.horizontalAdvance(expanded));
  }
  const DialogUnits units(fontMetrics());
  const int frame = 2 * resultsBox_->frameWidth() + 2 * static_cast<int>(resultsBox_->document()->documentMargin()) +
                    resultsBox_->verticalScrollBar()->sizeHint().width();
  const QSize box(widest + frame, metrics.lineSpacing() * static_cast<int>(lines.size()) + frame);
  QSize wanted = units.Size(kWidth, kHeight) + (box - ResultsBoxRect(units).size());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize most = screen->availableSize() * 2 / 3;
    wanted = wanted.boundedTo(most);
  }
  resize(wanted.expandedTo(minimumSize()));
}

void ReportDialog::SetFilesFolder(const QString& folder) {
  filesFolder_ = folder;
  openFolderButton_->setVisible(!folder.isEmpty());
}

// The folder as typed may be relative: the file manager needs it whole.
void ReportDialog::OpenFolder() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(filesFolder_).absoluteFilePath()));
}

void ReportDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const DialogUnits units(fontMetrics());
  const QSize grown = size() - units.Size(kWidth, kHeight);
  resultsBox_->setGeometry(ResultsBoxRect(units).adjusted(0, 0, grown.width(), grown.height()));
  doneButton_->setGeometry(DoneRect(units).translated(grown.width(), grown.height()));
  openFolderButton_->setGeometry(OpenFolderRect(units).translated(grown.width(), grown.height()));
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
