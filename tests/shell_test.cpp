// The desktop program, offscreen: the dialog's controls and exchange, a whole
// job as the dialog sees it, the report, and the remembered settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QStringListModel>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "export/messages.h"
#include "export/preset.h"
#include "export/rip_job.h"
#include "shell/layer_tree.h"
#include "shell/main_app.h"
#include "shell/main_dialog.h"
#include "shell/report_dialog.h"
#include "shell/settings.h"
#include "tests/cli_run.h"
#include "tests/helpers.h"
#include "tests/image_readers.h"

namespace peelbox::shell {
namespace {

using psdbuild::BuildDocument;

template <typename Widget>
Widget* Find(QWidget& parent, const char* name) {
  auto* widget = parent.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

const char* const kInputs[] = {"startButton",     "closeButton",  "sourceFileBox", "browseButton",
                               "outputFolderBox", "selectButton", "ignoreAlphaBox"};

// "1111111" when all seven input controls are enabled.
std::string EnabledStates(QWidget& dialog) {
  std::string states;
  for (const char* name : kInputs) states += dialog.findChild<QWidget*>(name)->isEnabled() ? '1' : '0';
  return states;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 120000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void SavePicture(QWidget& widget, const QString& name) {
  widget.grab().save(QString(PEELBOX_PICTURES_DIR) + "/" + name + ".png");
}

// Records what the dialog is told, on which thread, and how its controls
// stand after each handler.
class RecordingDialog : public MainDialog {
 public:
  struct Event {
    std::string what;
    uint32_t lParam = 0;
    std::string enabledAfter;
    bool onDialogThread = false;
  };

  void OnRipStarted() override {
    MainDialog::OnRipStarted();
    Record("started", 0);
  }
  void OnRipStatus(const QString& text, uint32_t lParam) override {
    MainDialog::OnRipStatus(text, lParam);
    Record(text.toStdString(), lParam);
    if (onStatus) onStatus(text.toStdString());
  }
  void OnRipDone(RipOutcome outcome) override {
    MainDialog::OnRipDone(outcome);
    Record("done", outcome);
  }
  void ShowReport(const QString& text, const QString& filesFolder) override {
    report = text;
    reportFolder = filesFolder;
    Record("report", 0);
    if (showRealReport) MainDialog::ShowReport(text, filesFolder);
  }

  std::vector<Event> events;
  QString report;
  QString reportFolder;
  bool showRealReport = false;
  // Runs on the dialog's thread while the job waits for its status to be
  // taken: what a user does at that moment.
  std::function<void(const std::string& status)> onStatus;

 private:
  void Record(const std::string& what, uint32_t lParam) {
    events.push_back({what, lParam, EnabledStates(*this), QThread::currentThread() == thread()});
  }
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Settings go to a folder of the test's own, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settingsDir_.path().string()));
  }

  // Starts a job from the dialog and waits until it has ended.
  void RunJob(RecordingDialog& dialog) {
    dialog.show();
    dialog.OnOK();
    ASSERT_TRUE(WaitFor([&] { return !dialog.JobRunning(); }));
  }

  // Runs a job that shows the real report, and `inspect` on the report once
  // it shows; `inspect` closes it. False when no report showed.
  bool RunJobWithReport(RecordingDialog& dialog, const std::function<void(ReportDialog&)>& inspect) {
    dialog.showRealReport = true;
    bool seen = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* report = qobject_cast<ReportDialog*>(widget);
        if (report == nullptr || !report->isVisible() || seen) continue;
        seen = true;
        inspect(*report);
      }
    });
    watcher.start(20);
    RunJob(dialog);
    return seen;
  }

  test::TempDir settingsDir_;
  test::TempDir files_;
};

TEST_F(ShellTest, ControlsAsTheTemplateHasThem) {
  MainDialog dialog;
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Peelbox v1.1 - Outputs PNG and GIF files");
  EXPECT_EQ(Find<QPushButton>(dialog, "browseButton")->text(), "&Browse");
  EXPECT_EQ(Find<QPushButton>(dialog, "selectButton")->text(), "&Select");
  EXPECT_EQ(Find<QPushButton>(dialog, "startButton")->text(), "S&tart");
  EXPECT_TRUE(Find<QPushButton>(dialog, "startButton")->isDefault());
  EXPECT_EQ(Find<QPushButton>(dialog, "closeButton")->text(), "&Close");
  EXPECT_EQ(Find<QCheckBox>(dialog, "ignoreAlphaBox")->text(),
            "Ignore &Alpha-channel (Keeps complete transparency only)");
  EXPECT_EQ(Find<QGroupBox>(dialog, "sourceGroup")->title(), " Source file: ");
  EXPECT_EQ(Find<QGroupBox>(dialog, "outputGroup")->title(), " Output folder: ");
  EXPECT_EQ(Find<QGroupBox>(dialog, "statusCaption")->title(), " Progress: ");
  const QProgressBar* bar = Find<QProgressBar>(dialog, "progressBar");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(EnabledStates(dialog), "1111111");
  EXPECT_FALSE(dialog.windowIcon().isNull());

  // Tab order is template order.
  std::vector<std::string> order;
  QWidget* widget = Find<QWidget>(dialog, "sourceFileBox");
  for (; order.size() < 7; widget = widget->nextInFocusChain()) {
    if (widget->focusPolicy() & Qt::TabFocus) order.push_back(widget->objectName().toStdString());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"sourceFileBox", "browseButton", "outputFolderBox", "selectButton",
                                             "ignoreAlphaBox", "startButton", "closeButton"}));
  // Proportions: Browse and Select share a column, the boxes their row.
  EXPECT_EQ(Find<QWidget>(dialog, "browseButton")->geometry().x(),
            Find<QWidget>(dialog, "selectButton")->geometry().x());
  EXPECT_EQ(Find<QWidget>(dialog, "sourceFileBox")->geometry().width(),
            Find<QWidget>(dialog, "outputFolderBox")->geometry().width());
  EXPECT_EQ(Find<QWidget>(dialog, "sourceFileBox")->geometry().y(),
            Find<QWidget>(dialog, "browseButton")->geometry().y());
  const double barShare = double(Find<QWidget>(dialog, "progressBar")->width()) / dialog.width();
  EXPECT_NEAR(barShare, 300.0 / 320.0, 0.02);
  SavePicture(dialog, "main-dialog");
}

TEST_F(ShellTest, SeparatorRuleInBothDirections) {
  MainDialog dialog;
  auto* box = Find<QLineEdit>(dialog, "outputFolderBox");
  const std::pair<QString, QString> cases[] = {{"out", "out/"}, {"out/", "out/"}, {"C:\\out\\", "C:\\out\\"}, {"", ""}};
  for (const auto& [field, shown] : cases) {
    dialog.outputFolder = field;
    dialog.UpdateData(false);
    EXPECT_EQ(box->text(), shown);
    EXPECT_EQ(dialog.outputFolder, shown);
  }
  box->setText("typed");
  dialog.UpdateData(true);
  EXPECT_EQ(dialog.outputFolder, "typed/");
  EXPECT_EQ(box->text(), "typed");  // shown with it at the next exchange to the controls
  dialog.UpdateData(false);
  EXPECT_EQ(box->text(), "typed/");
}

TEST_F(ShellTest, BrowseAndSelectTakeTypedTextFirstAndKeepItWhenCancelled) {
  MainDialog dialog;
  dialog.show();
  QString offeredSource, offeredFolder;
  dialog.chooseSourceFile = [&](const QString& current) -> std::optional<QString> {
    offeredSource = current;
    return std::nullopt;
  };
  dialog.chooseOutputFolder = [&](const QString& current) -> std::optional<QString> {
    offeredFolder = current;
    return std::nullopt;
  };
  Find<QLineEdit>(dialog, "sourceFileBox")->setText("typed.psd");
  Find<QLineEdit>(dialog, "outputFolderBox")->setText("folder");
  Find<QCheckBox>(dialog, "ignoreAlphaBox")->setChecked(true);
  Find<QPushButton>(dialog, "browseButton")->click();
  EXPECT_EQ(offeredSource, "typed.psd");
  EXPECT_EQ(dialog.sourcePath, "typed.psd");
  EXPECT_EQ(dialog.ignoreAlpha, 1);
  EXPECT_EQ(Find<QLineEdit>(dialog, "sourceFileBox")->text(), "typed.psd");

  Find<QPushButton>(dialog, "selectButton")->click();
  EXPECT_EQ(offeredFolder, "folder/");
  EXPECT_EQ(Find<QLineEdit>(dialog, "outputFolderBox")->text(), "folder/");

  dialog.chooseSourceFile = [](const QString&) { return std::optional<QString>("/data/picked.psd"); };
  dialog.chooseOutputFolder = [](const QString&) { return std::optional<QString>("/data/out"); };
  Find<QPushButton>(dialog, "browseButton")->click();
  Find<QPushButton>(dialog, "selectButton")->click();
  EXPECT_EQ(Find<QLineEdit>(dialog, "sourceFileBox")->text(), "/data/picked.psd");
  EXPECT_EQ(Find<QLineEdit>(dialog, "outputFolderBox")->text(), "/data/out/");
}

TEST_F(ShellTest, StatusMovesTheBarAndTheCaption) {
  MainDialog dialog;
  dialog.OnRipStatus("Reading layers section, contains: 3 layers.", PackProgress(37));
  const QProgressBar* bar = Find<QProgressBar>(dialog, "progressBar");
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 37);
  EXPECT_EQ(Find<QGroupBox>(dialog, "statusCaption")->title(), "Reading layers section, contains: 3 layers.");
  dialog.OnRipStatus("Half", (50u << 16) | 100u);
  EXPECT_EQ(bar->value(), 50);
}

TEST_F(ShellTest, WholeJobAsTheDialogSeesIt) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(files_.Write("job.psd", BuildDocument(test::SmallDocument()).bytes));
  dialog.outputFolder = QString::fromStdString(files_.Folder() + "out");
  std::filesystem::create_directory(files_.path() / "out");
  std::vector<std::string> closeTexts;
  dialog.onStatus = [&](const std::string&) {
    closeTexts.push_back(Find<QPushButton>(dialog, "closeButton")->text().toStdString());
  };
  RunJob(dialog);

  std::vector<std::string> order;
  for (const auto& event : dialog.events) {
    order.push_back(event.what);
    EXPECT_TRUE(event.onDialogThread) << event.what;
  }
  std::vector<std::string> expected = {"started"};
  for (const std::string& status : test::SmallDocumentStatuses()) expected.push_back(status);
  for (const char* rest :
       {"Exporting layer: \"Background\"...", "Exporting layer: \"Layer 1\"...", "Reporting...", "report", "done"}) {
    expected.push_back(rest);
  }
  EXPECT_EQ(order, expected);

  // Locked but for Close, which reads Stop until the job is done.
  EXPECT_EQ(dialog.events.front().enabledAfter, "0100000");
  for (size_t i = 0; i + 1 < dialog.events.size(); ++i) EXPECT_EQ(dialog.events[i].enabledAfter, "0100000");
  EXPECT_EQ(dialog.events.back().enabledAfter, "1111111");
  EXPECT_EQ(closeTexts, std::vector<std::string>(closeTexts.size(), "&Stop"));
  EXPECT_EQ(Find<QPushButton>(dialog, "closeButton")->text(), "&Close");
  EXPECT_EQ(dialog.reportFolder.toStdString(), files_.Folder() + "out/");
  EXPECT_EQ(dialog.events[11].lParam, (100u << 16) | 100u);
  EXPECT_EQ(ProgressPosition(dialog.events[9].lParam), 50);
  EXPECT_EQ(dialog.report.toStdString(),
            "Ripping of file: \r\n\"" + dialog.sourcePath.toStdString() + "\"\r\nTo output folder: \r\n\"" +
                files_.Folder() +
                "out/\"\r\nDone.\r\n\r\nLayers ripped:\t2\r\nFiles saved:\t4\r\nLayers skipped:\t0\r\n");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(Find<QGroupBox>(dialog, "statusCaption")->title(), "Done: 2 layers, 4 files.");
  EXPECT_EQ(Find<QProgressBar>(dialog, "progressBar")->value(), 0);
  EXPECT_TRUE(std::filesystem::exists(files_.path() / "out" / "Layer 1.gif"));
}

TEST_F(ShellTest, FailingJobReportsTheCodeAndThePathWithoutQuotes) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(files_.Folder() + "missing.psd");
  dialog.outputFolder = QString::fromStdString(files_.Folder());
  RunJob(dialog);
  const std::string report = dialog.report.toStdString();
  EXPECT_NE(report.find("Error code: -16384\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("file: \r\n" + files_.Folder() + "missing.psd\r\n"), std::string::npos) << report;
  EXPECT_EQ(report.substr(report.size() - 26), "No such file or directory.");
  EXPECT_EQ(dialog.events.back().what, "done");
  EXPECT_EQ(dialog.events.back().lParam, kRipFailed);
  EXPECT_EQ(Find<QGroupBox>(dialog, "statusCaption")->title(), "Failed: 0 layers, 0 files.");
}

TEST_F(ShellTest, SecondStartBeforeTheJobHasStartedStartsNothing) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(files_.Write("job.psd", BuildDocument(test::SmallDocument()).bytes));
  dialog.outputFolder = QString::fromStdString(files_.Folder());
  dialog.show();
  dialog.OnOK();
  dialog.OnOK();  // no event has been handled in between
  Find<QPushButton>(dialog, "startButton")->click();
  ASSERT_TRUE(WaitFor([&] { return !dialog.JobRunning(); }));
  EXPECT_EQ(
      std::count_if(dialog.events.begin(), dialog.events.end(), [](const auto& e) { return e.what == "started"; }), 1);
}

TEST_F(ShellTest, ReportIsModalOverTheDialogWithNothingSelected) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(files_.Write("job.psd", BuildDocument(test::SmallDocument()).bytes));
  dialog.outputFolder = QString::fromStdString(files_.Folder());
  EXPECT_TRUE(RunJobWithReport(dialog, [&](ReportDialog& report) {
    EXPECT_EQ(report.windowTitle(), "Results: ");
    EXPECT_TRUE(report.isModal());
    EXPECT_EQ(report.parentWidget(), &dialog);
    auto* box = Find<QPlainTextEdit>(report, "resultsBox");
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(box->textCursor().hasSelection());
    EXPECT_TRUE(box->toPlainText().startsWith("Ripping of file: \n"));
    EXPECT_EQ(Find<QPushButton>(report, "doneButton")->text(), "&Done");
    EXPECT_EQ(EnabledStates(dialog), "0100000");  // still locked under the report
    SavePicture(report, "report-dialog");
    SavePicture(dialog, "main-dialog-reporting");
    Find<QPushButton>(report, "doneButton")->click();
  }));
  EXPECT_EQ(dialog.events.back().what, "done");
}

// A document of five layers L0..L4, each encoded while the next is read.
std::string FiveLayers(const test::TempDir& dir) {
  psdbuild::DocumentRecipe doc;
  doc.rows = 60;
  doc.columns = 80;
  for (int i = 0; i < 5; ++i) {
    doc.layers.push_back(
        psdbuild::PixelLayer({0, 0, 80, 60, true, true, static_cast<uint32_t>(i + 1), "L" + std::to_string(i)}));
  }
  return dir.Write("five.psd", BuildDocument(doc).bytes);
}

TEST_F(ShellTest, StopWhileReadingOrWritingKeepsWhatIsWrittenWhole) {
  const struct {
    const char* what;
    const char* at;  // the status at which the user asks
    std::function<void(MainDialog&)> ask;
    std::vector<std::string> files;
  } cases[] = {
      {"Stop while reading",
       "Reading data for layer \"L2\" with 4 channels.",
       [](MainDialog& dialog) { Find<QPushButton>(dialog, "closeButton")->click(); },
       {}},
      {"Escape while writing",
       "Exporting layer: \"L2\"...",
       [](MainDialog& dialog) {
         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&dialog, &escape);
       },
       {"L0.gif", "L0.png", "L1.gif", "L1.png"}},
      {"the close box while writing",
       "Exporting layer: \"L3\"...",
       [](MainDialog& dialog) { dialog.close(); },
       {"L0.gif", "L0.png", "L1.gif", "L1.png", "L2.gif", "L2.png"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingDialog dialog;
    test::TempDir out;
    dialog.sourcePath = QString::fromStdString(FiveLayers(files_));
    dialog.outputFolder = QString::fromStdString(out.Folder());
    dialog.onStatus = [&](const std::string& status) {
      if (status == c.at) c.ask(dialog);
    };
    RunJob(dialog);
    const std::string report = dialog.report.toStdString();
    EXPECT_NE(report.find("\r\nStopped by the user.\r\n\r\nLayers ripped:\t" + std::to_string(c.files.size() / 2) +
                          "\r\nFiles saved:\t" + std::to_string(c.files.size()) + "\r\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(out.FileNames(), c.files);  // whole files only: no temporary one is left
    for (const std::string& name : c.files) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".png") {
        EXPECT_TRUE(test::ReadPng(out.path() / name).ok) << name;
      }
    }
    EXPECT_EQ(dialog.events.back().lParam, kRipStopped);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(
        Find<QGroupBox>(dialog, "statusCaption")->title().toStdString(),
        "Stopped: " + std::to_string(c.files.size() / 2) + " layers, " + std::to_string(c.files.size()) + " files.");
    EXPECT_EQ(Find<QPushButton>(dialog, "closeButton")->text(), "&Close");
    EXPECT_EQ(EnabledStates(dialog), "1111111");
    // Once the job is done, Close closes again.
    Find<QPushButton>(dialog, "closeButton")->click();
    EXPECT_FALSE(dialog.isVisible());
  }
}

QMimeData* Urls(const QList<QUrl>& urls) {
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

TEST_F(ShellTest, DropsSetTheSourceOrTheOutputFolder) {
  const QString psd = QString::fromStdString(files_.Write("Upper.PSD", {1}));
  const QString psb = QString::fromStdString(files_.Write("big.psb", {1}));
  const QString png = QString::fromStdString(files_.Write("picture.png", {1}));
  const QString folder = QString::fromStdString(files_.path().string());
  const struct {
    const char* what;
    QList<QUrl> urls;
    bool accepted;
    QString source;
    QString output;
  } cases[] = {
      {"a document", {QUrl::fromLocalFile(psd)}, true, psd, "/keep/"},
      {"a large document", {QUrl::fromLocalFile(psb)}, true, psb, "/keep/"},
      {"a folder", {QUrl::fromLocalFile(folder)}, true, "/keep.psd", folder + "/"},
      {"a picture", {QUrl::fromLocalFile(png)}, false, "/keep.psd", "/keep/"},
      {"two documents", {QUrl::fromLocalFile(psd), QUrl::fromLocalFile(psb)}, true, "2 documents", "/keep/"},
      {"a document and a folder",
       {QUrl::fromLocalFile(psd), QUrl::fromLocalFile(folder)},
       false,
       "/keep.psd",
       "/keep/"},
      {"a web address", {QUrl("https://example.com/a.psd")}, false, "/keep.psd", "/keep/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MainDialog dialog;
    dialog.sourcePath = "/keep.psd";
    dialog.outputFolder = "/keep/";
    dialog.show();
    std::unique_ptr<QMimeData> data(Urls(c.urls));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    EXPECT_EQ(enter.isAccepted(), c.accepted);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
    EXPECT_EQ(Find<QLineEdit>(dialog, "sourceFileBox")->text(), c.source);
    EXPECT_EQ(Find<QLineEdit>(dialog, "outputFolderBox")->text(), c.output);
  }
}

TEST_F(ShellTest, NoDropWhileAJobRuns) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(files_.Write("job.psd", BuildDocument(test::SmallDocument()).bytes));
  dialog.outputFolder = QString::fromStdString(files_.Folder());
  const QString other = QString::fromStdString(files_.Write("other.psd", {1}));
  bool refused = false;
  dialog.onStatus = [&](const std::string&) {
    std::unique_ptr<QMimeData> data(Urls({QUrl::fromLocalFile(other)}));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    refused = !enter.isAccepted();
  };
  RunJob(dialog);
  EXPECT_TRUE(refused);
}

// Receives what the desktop would open, in place of a file manager.
class UrlCatcher : public QObject {
  Q_OBJECT

 public slots:
  void Open(const QUrl& url) { opened.push_back(url); }

 public:
  std::vector<QUrl> opened;
};

TEST_F(ShellTest, OpenFolderOnlyWhenTheJobWroteFiles) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  psdbuild::DocumentRecipe nothing = test::SmallDocument();
  nothing.mode = kMultichannelMode;
  for (const bool wrote : {true, false}) {
    RecordingDialog dialog;
    dialog.sourcePath =
        QString::fromStdString(files_.Write("job.psd", BuildDocument(wrote ? test::SmallDocument() : nothing).bytes));
    test::TempDir out;
    dialog.outputFolder = QString::fromStdString(out.Folder());
    EXPECT_TRUE(RunJobWithReport(dialog, [&](ReportDialog& report) {
      auto* open = Find<QPushButton>(report, "openFolderButton");
      EXPECT_EQ(open->isVisible(), wrote);
      EXPECT_EQ(open->text(), "&Open folder");
      if (wrote) open->click();
      Find<QPushButton>(report, "doneButton")->click();
    }));
  }
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(catcher.opened.size(), 1u);
  EXPECT_TRUE(catcher.opened[0].isLocalFile());
  EXPECT_TRUE(QFileInfo(catcher.opened[0].toLocalFile()).isAbsolute());
}

TEST_F(ShellTest, WindowsFitTheirContent) {
  MainDialog dialog;
  dialog.show();
  const QSize original = dialog.size();
  const QRect box = Find<QWidget>(dialog, "sourceFileBox")->geometry();
  const QRect browse = Find<QWidget>(dialog, "browseButton")->geometry();
  const QRect bar = Find<QWidget>(dialog, "progressBar")->geometry();
  dialog.resize(original.width() + 300, original.height() + 200);
  ASSERT_TRUE(WaitFor([&] { return dialog.width() == original.width() + 300; }, 2000));
  EXPECT_EQ(dialog.height(), original.height() + 200);  // the layers take the height
  EXPECT_EQ(Find<QWidget>(dialog, "sourceFileBox")->width(), box.width() + 300);
  EXPECT_EQ(Find<QWidget>(dialog, "browseButton")->geometry(), browse.translated(300, 0));
  EXPECT_EQ(Find<QWidget>(dialog, "progressBar")->width(), bar.width() + 300);
  EXPECT_EQ(Find<QWidget>(dialog, "ignoreAlphaBox")->x(), Find<QWidget>(dialog, "sourceFileBox")->x());
  dialog.resize(original.width() - 100, original.height());
  EXPECT_GE(dialog.width(), original.width());  // never narrower than the template

  ReportDialog small, wide;
  small.SetResults("Done.\r\n");
  const QString path = "/a/path/" + QString(120, 'x') + "/document.psd";
  wide.SetResults("Ripping of file: \r\n\"" + path + "\"\r\n");
  EXPECT_GT(wide.width(), small.width());
  EXPECT_LE(wide.width(), QGuiApplication::primaryScreen()->availableSize().width() * 2 / 3);
  wide.show();
  auto* results = Find<QPlainTextEdit>(wide, "resultsBox");
  auto* done = Find<QWidget>(wide, "doneButton");
  const QSize boxSize = results->size();
  const QPoint doneFromCorner = QPoint(wide.width(), wide.height()) - done->geometry().topLeft();
  wide.resize(wide.width() + 50, wide.height() + 40);
  ASSERT_TRUE(WaitFor([&] { return results->width() == boxSize.width() + 50; }, 2000));
  EXPECT_EQ(results->height(), boxSize.height() + 40);
  EXPECT_EQ(QPoint(wide.width(), wide.height()) - done->geometry().topLeft(), doneFromCorner);
}

TEST(StartFolder, TheFolderElseItsNearestExistingParentElseHome) {
  test::TempDir dir;
  const QString existing = QString::fromStdString(dir.path().string());
  EXPECT_EQ(StartFolder(existing + "/"), existing);
  EXPECT_EQ(StartFolder(existing + "/missing/deeper"), existing);
  EXPECT_EQ(StartFolder(""), QDir::homePath());
  EXPECT_EQ(StartFolder("/no-such-folder-anywhere/x"), "/");
}

TEST_F(ShellTest, SettingsRoundTripAndFirstStart) {
  {
    const auto store = OpenSettingsStore();
    const AppSettings first = LoadSettings(*store);
    EXPECT_EQ(first.sourcePath, "");
    EXPECT_EQ(first.outputFolder, "");
    EXPECT_EQ(first.ignoreAlpha, 0);
    SaveSettings(*store, {"/in/a.psd", "/out/", 1});
  }
  const auto store = OpenSettingsStore();
  EXPECT_EQ(store->fileName().toStdString().find(settingsDir_.path().string()), 0u);
  EXPECT_TRUE(store->fileName().endsWith("Tessmark/Peelbox v1.0.conf")) << store->fileName().toStdString();
  const AppSettings again = LoadSettings(*store);
  EXPECT_EQ(again.sourcePath, "/in/a.psd");
  EXPECT_EQ(again.outputFolder, "/out/");
  EXPECT_EQ(again.ignoreAlpha, 1);
  EXPECT_EQ(store->value("Settings/Source File").toString(), "/in/a.psd");
}

// Runs the application with the dialog driven by `drive` instead of a user.
class DrivenApp : public MainApp {
 public:
  explicit DrivenApp(std::function<void(MainDialog&)> drive) : drive_(std::move(drive)) {}

 protected:
  void RunDialog(MainDialog& dialog) override {
    dialog.show();
    drive_(dialog);
    dialog.reject();
  }

 private:
  std::function<void(MainDialog&)> drive_;
};

TEST_F(ShellTest, ApplicationRestoresAndSavesTheFieldsNotTheTypedText) {
  {
    const auto store = OpenSettingsStore();
    SaveSettings(*store, {"/in/a.psd", "/out", 0});
  }
  {
    const auto store = OpenSettingsStore();
    DrivenApp app([](MainDialog& dialog) {
      EXPECT_EQ(Find<QLineEdit>(dialog, "sourceFileBox")->text(), "/in/a.psd");
      EXPECT_EQ(Find<QLineEdit>(dialog, "outputFolderBox")->text(), "/out/");
      Find<QLineEdit>(dialog, "sourceFileBox")->setText("typed but never exchanged");
      Find<QCheckBox>(dialog, "ignoreAlphaBox")->setChecked(true);
    });
    EXPECT_EQ(app.InitInstance(*store), 0);
  }
  const auto store = OpenSettingsStore();
  const AppSettings saved = LoadSettings(*store);
  EXPECT_EQ(saved.sourcePath, "/in/a.psd");
  EXPECT_EQ(saved.outputFolder, "/out/");  // the separator came with the first exchange
  EXPECT_EQ(saved.ignoreAlpha, 0);
}

TEST_F(ShellTest, ApplicationSavesAChosenFolder) {
  const auto store = OpenSettingsStore();
  DrivenApp app([](MainDialog& dialog) {
    dialog.chooseOutputFolder = [](const QString&) { return std::optional<QString>("/chosen"); };
    Find<QPushButton>(dialog, "selectButton")->click();
  });
  app.InitInstance(*store);
  EXPECT_EQ(LoadSettings(*store).outputFolder, "/chosen/");
}

TEST_F(ShellTest, OpenWithStartsWithTheFileOverTheRememberedOne) {
  {
    const auto store = OpenSettingsStore();
    SaveSettings(*store, {"/in/remembered.psd", "/out/", 0});
  }
  const auto store = OpenSettingsStore();
  DrivenApp app([](MainDialog& dialog) {
    EXPECT_EQ(Find<QLineEdit>(dialog, "sourceFileBox")->text(), QDir::current().absoluteFilePath("given.psd"));
    EXPECT_EQ(Find<QLineEdit>(dialog, "outputFolderBox")->text(), "/out/");
  });
  app.InitInstance(*store, "given.psd");
}

// Bottom-most first: Back; the group Outer holding A and the hidden group
// Inner, which holds B.
std::string Nested(const test::TempDir& dir, const std::string& name = "nested.psd") {
  psdbuild::DocumentRecipe doc;
  doc.rows = 8;
  doc.columns = 8;
  const auto section = [](const std::string& title, uint8_t type, uint8_t flags = 0) {
    psdbuild::LayerRecipe layer;
    layer.name = title;
    layer.flags = flags;
    layer.afterName = psdbuild::TaggedBlockBytes("lsct", {0, 0, 0, type});
    return layer;
  };
  const auto pixels = [](const std::string& title, uint32_t seed) {
    return psdbuild::PixelLayer({0, 0, 8, 8, true, false, seed, title});
  };
  doc.layers = {pixels("Back", 1),  section("</Layer group>", 3), section("</Layer group>", 3),
                pixels("B", 2),     section("Inner", 1, 0x02),    pixels("A", 3),
                section("Outer", 1)};
  return dir.Write(name, BuildDocument(doc).bytes);
}

// Each row as "  name:state", indented by depth; state 0, 1 (partly) or 2.
std::string TreeText(QTreeWidget* tree) {
  std::string text;
  std::function<void(QTreeWidgetItem*, int)> add = [&](QTreeWidgetItem* item, int depth) {
    text += std::string(depth * 2, ' ') + item->text(0).toStdString() + ":" +
            std::to_string(static_cast<int>(item->checkState(0))) + " ";
    for (int i = 0; i < item->childCount(); ++i) add(item->child(i), depth + 1);
  };
  for (int i = 0; i < tree->topLevelItemCount(); ++i) add(tree->topLevelItem(i), 0);
  return text;
}

QTreeWidgetItem* ItemNamed(QTreeWidget* tree, const QString& name) {
  const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

TEST_F(ShellTest, LayerTreeAndItsChecks) {
  MainDialog dialog;
  dialog.sourcePath = QString::fromStdString(Nested(files_));
  dialog.show();
  ASSERT_TRUE(WaitFor([&] { return dialog.layerTree()->Loaded(); }));
  auto* tree = Find<QTreeWidget>(dialog, "layerTree");
  const struct {
    const char* press;  // a button, or a layer to uncheck
    const char* rows;
  } cases[] = {
      {nullptr, "Outer:2   A:2   Inner:2     B:2 Back:2 "},
      {"noneButton", "Outer:0   A:0   Inner:0     B:0 Back:0 "},
      {"visibleButton", "Outer:1   A:2   Inner:0     B:0 Back:2 "},
      {"allButton", "Outer:2   A:2   Inner:2     B:2 Back:2 "},
      {"A", "Outer:1   A:0   Inner:2     B:2 Back:2 "},
  };
  for (const auto& c : cases) {
    if (c.press != nullptr && QString(c.press).endsWith("Button")) Find<QPushButton>(dialog, c.press)->click();
    if (c.press != nullptr && !QString(c.press).endsWith("Button"))
      ItemNamed(tree, c.press)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(TreeText(tree), c.rows) << (c.press ? c.press : "as read");
  }
  ASSERT_TRUE(WaitFor([&] { return !ItemNamed(tree, "Back")->icon(0).isNull(); }));
  EXPECT_EQ(ItemNamed(tree, "Back")->text(2), "8 × 8");

  // A document that cannot be read says why in place of the tree.
  dialog.layerTree()->SetSource(QString::fromStdString(files_.Write("text.psd", {'n', 'o', 'p', 'e', '!'})));
  ASSERT_TRUE(WaitFor([&] { return dialog.layerTree()->Loaded(); }));
  EXPECT_EQ(Find<QLabel>(dialog, "treeMessage")->text(), "This file is not a Photoshop document.");
  EXPECT_TRUE(Find<QPushButton>(dialog, "startButton")->isEnabled());
}

TEST_F(ShellTest, OnlyTheCheckedLayersAreWritten) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(Nested(files_));
  dialog.outputFolder = QString::fromStdString(files_.Folder() + "out");
  dialog.show();
  ASSERT_TRUE(WaitFor([&] { return dialog.layerTree()->Loaded(); }));
  ItemNamed(Find<QTreeWidget>(dialog, "layerTree"), "B")->setCheckState(0, Qt::Unchecked);
  RunJob(dialog);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(files_.path() / "out")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A.gif", "A.png", "Back.gif", "Back.png"}));
  EXPECT_NE(dialog.report.indexOf("1 not selected"), -1) << dialog.report.toStdString();
}

TEST_F(ShellTest, OptionsAndPresetsRoundTrip) {
  MainDialog dialog;
  dialog.show();
  Find<QCheckBox>(dialog, "format_gif")->setChecked(false);
  Find<QComboBox>(dialog, "option_extent")->setCurrentText("trim");
  Find<QSpinBox>(dialog, "option_pad")->setValue(3);
  Find<QLineEdit>(dialog, "option_name")->setText("{doc}_{name}");
  Find<QLineEdit>(dialog, "option_only")->setText("UI/**; *_x");
  Find<QCheckBox>(dialog, "option_fast")->setChecked(true);
  Find<QCheckBox>(dialog, "ignoreAlphaBox")->setChecked(true);
  const QString path = QString::fromStdString(files_.Folder() + "p.json");
  dialog.choosePresetFile = [&](bool) { return std::optional<QString>(path); };
  Find<QPushButton>(dialog, "savePresetButton")->click();

  MainDialog again;
  again.sourcePath = "/in/art.psd";
  again.show();
  again.choosePresetFile = [&](bool) { return std::optional<QString>(path); };
  Find<QPushButton>(again, "loadPresetButton")->click();
  EXPECT_EQ(PresetText(again.options), PresetText(dialog.options));
  EXPECT_FALSE(Find<QCheckBox>(again, "format_gif")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(again, "option_only")->text(), "UI/**; *_x");
  EXPECT_TRUE(Find<QCheckBox>(again, "ignoreAlphaBox")->isChecked());
  EXPECT_EQ(Find<QLabel>(again, "nameExample")->text(), "First file: art_Layer 1.png");

  const std::string bad = R"({"fast": true, "colour": "srgb"})";
  const QString badPath = QString::fromStdString(files_.Write("bad.json", test::ByteVector(bad.begin(), bad.end())));
  EXPECT_FALSE(again.LoadPresetFile(badPath));
  EXPECT_EQ(Find<QGroupBox>(again, "statusCaption")->title(), "The preset's key \"colour\" is not an option.");
}

// Three documents, the second of which cannot be read; Stop during the
// second ends the queue.
TEST_F(ShellTest, QueueRipsEachDocumentIntoItsOwnFolder) {
  const QString first = QString::fromStdString(Nested(files_, "one.psd"));
  const QString broken = QString::fromStdString(files_.Write("two.psd", {'8', 'B', 'P', 'S', 0, 1}));
  const QString third = QString::fromStdString(FiveLayers(files_));
  const struct {
    const char* what;
    QStringList queue;
    const char* stopAt;
    std::vector<std::string> folders;
    RipOutcome outcome;
  } cases[] = {
      {"one failing", {first, broken, third}, nullptr, {"five", "one"}, kRipFailed},
      {"stopped in the second", {first, third, broken}, "Exporting layer: \"L1\"...", {"five", "one"}, kRipStopped},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir out;
    RecordingDialog dialog;
    dialog.outputFolder = QString::fromStdString(out.Folder());
    dialog.show();
    dialog.SetQueue(c.queue);
    EXPECT_EQ(Find<QLineEdit>(dialog, "sourceFileBox")->text(), "3 documents");
    dialog.onStatus = [&](const std::string& status) {
      if (c.stopAt != nullptr && status == c.stopAt) dialog.reject();
    };
    RunJob(dialog);
    EXPECT_EQ(out.FileNames(), c.folders);
    EXPECT_EQ(dialog.events.back().lParam, c.outcome);
    const QString expected = c.stopAt != nullptr ? "two.psd\": not started." : "Error occurred";
    EXPECT_NE(dialog.report.indexOf(expected), -1) << dialog.report.toStdString();
  }
}

TEST_F(ShellTest, RecentDocumentsThatStillExistNewestFirst) {
  const QString kept = QString::fromStdString(files_.Write("kept.psd", {1}));
  EXPECT_EQ(WithRecent({"/a", "/b", "/c", "/d", "/e", "/f", "/g", "/h"}, {"/x", "/c"}),
            (QStringList{"/x", "/c", "/a", "/b", "/d", "/e", "/f", "/g"}));
  MainDialog dialog;
  dialog.recent = {"/gone.psd", kept};
  dialog.show();
  auto* completer = Find<QLineEdit>(dialog, "sourceFileBox")->completer();
  ASSERT_NE(completer, nullptr);
  EXPECT_EQ(static_cast<QStringListModel*>(completer->model())->stringList(), QStringList{kept});
}

TEST_F(ShellTest, ReplaceQuestionAnsweredBothWays) {
  for (const bool replace : {false, true}) {
    test::TempDir out;
    const std::string doc = Nested(files_);
    RipJob({doc, out.Folder(), 0, nullptr}).Run();
    const std::filesystem::path back = out.path() / "Back.png";
    std::filesystem::resize_file(back, 1);
    RecordingDialog dialog;
    dialog.sourcePath = QString::fromStdString(doc);
    dialog.outputFolder = QString::fromStdString(out.Folder());
    size_t asked = 0;
    dialog.askReplace = [&](size_t existing) {
      asked = existing;
      return replace;
    };
    RunJob(dialog);
    EXPECT_EQ(asked, 6u);
    EXPECT_EQ(std::filesystem::file_size(back) > 1, replace);
  }
}

TEST_F(ShellTest, SamePresetSameFilesAsTheCommandLine) {
  const std::string preset = R"({"formats": "png", "extent": "trim", "pad": 1, "name": "{doc}-{index}"})";
  const std::string presetPath = files_.Write("p.json", test::ByteVector(preset.begin(), preset.end()));
  const std::string doc = Nested(files_);
  test::TempDir fromCli, fromDialog;
  ASSERT_EQ(test::RunCli({"-q", "--preset", presetPath, doc, fromCli.Folder()}).status, 0);
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(doc);
  dialog.outputFolder = QString::fromStdString(fromDialog.Folder());
  ASSERT_TRUE(dialog.LoadPresetFile(QString::fromStdString(presetPath)));
  RunJob(dialog);
  ASSERT_EQ(fromDialog.FileNames(), fromCli.FileNames());
  EXPECT_EQ(fromCli.FileNames().size(), 3u);
  for (const std::string& name : fromCli.FileNames()) {
    EXPECT_EQ(test::ReadAll(fromDialog.path() / name), test::ReadAll(fromCli.path() / name)) << name;
  }
}

TEST(StartArguments, FormsOfTheCommandLine) {
  test::TempDir dir;
  const QString folder = QString::fromStdString(dir.path().string());
  const struct {
    QStringList arguments;
    bool run;
    QStringList documents;
    QString outputFolder;
    QString preset;
  } cases[] = {
      {{"--help"}, false, {}, "", ""},
      {{"--version"}, false, {}, "", ""},
      {{"--bogus"}, false, {}, "", ""},
      {{"--preset"}, false, {}, "", ""},
      {{"/a.psd", folder, "/b.psd"}, true, {"/a.psd", "/b.psd"}, folder, ""},
      {{"--preset", "p.json", "/a.psd"}, true, {"/a.psd"}, "", "p.json"},
      {{"--preset=p.json", "--", "/-c.psd"}, true, {"/-c.psd"}, "", "p.json"},
  };
  for (const auto& c : cases) {
    const StartArguments start = ParseStartArguments(c.arguments);
    EXPECT_EQ(start.run, c.run) << c.arguments.join(' ').toStdString();
    EXPECT_EQ(start.documents, c.documents);
    EXPECT_EQ(start.outputFolder, c.outputFolder);
    EXPECT_EQ(start.presetPath, c.preset);
    EXPECT_EQ(start.out.isEmpty() && start.error.isEmpty(), c.run);
  }
}

TEST_F(ShellTest, RelativeOutputFolderIsTakenFromHome) {
  RecordingDialog dialog;
  dialog.sourcePath = QString::fromStdString(files_.Folder() + "missing.psd");
  dialog.outputFolder = "relative/out";
  RunJob(dialog);
  EXPECT_EQ(Find<QLineEdit>(dialog, "outputFolderBox")->text(), QDir::home().filePath("relative/out") + "/");
  EXPECT_FALSE(QFileInfo::exists(QDir::home().filePath("relative/out")));  // made, then taken back
}

}  // namespace
}  // namespace peelbox::shell

#include "shell_test.moc"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
