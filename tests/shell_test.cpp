// The desktop program, offscreen: the dialog's controls and exchange, a whole
// job as the dialog sees it, the report, and the remembered settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <functional>

#include "export/messages.h"
#include "shell/main_app.h"
#include "shell/main_dialog.h"
#include "shell/report_dialog.h"
#include "shell/settings.h"
#include "tests/helpers.h"

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
    if (tryToClose) reject();  // must be refused while the job runs
  }
  void OnRipDone(RipOutcome outcome) override {
    MainDialog::OnRipDone(outcome);
    Record("done", outcome);
  }
  void ShowReport(const QString& text) override {
    report = text;
    Record("report", 0);
    if (showRealReport) MainDialog::ShowReport(text);
  }

  std::vector<Event> events;
  QString report;
  bool showRealReport = false;
  bool tryToClose = false;

 private:
  void Record(const std::string& what, uint32_t lParam) {
    events.push_back({what, lParam, EnabledStates(*this), QThread::currentThread() == thread()});
  }
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Settings go to a folder of the test's own, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settingsDir_.path().string()));
  }

  // Starts a job from the dialog and waits until it has ended.
  void RunJob(RecordingDialog& dialog) {
    dialog.show();
    dialog.OnOK();
    ASSERT_TRUE(WaitFor([&] { return !dialog.JobRunning(); }));
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
  EXPECT_EQ(Find<QCheckBox>(dialog, "ignoreAlphaBox")->text(), "Ignore Alpha-channel (Keeps complete transparency only)");
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
  // Proportions: the right-hand buttons share a column, the boxes their row.
  const QRect start = Find<QWidget>(dialog, "startButton")->geometry();
  EXPECT_EQ(start.x(), Find<QWidget>(dialog, "selectButton")->geometry().x());
  EXPECT_EQ(Find<QWidget>(dialog, "sourceFileBox")->geometry().y(), Find<QWidget>(dialog, "browseButton")->geometry().y());
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
  dialog.tryToClose = true;
  RunJob(dialog);

  std::vector<std::string> order;
  for (const auto& event : dialog.events) {
    order.push_back(event.what);
    EXPECT_TRUE(event.onDialogThread) << event.what;
  }
  std::vector<std::string> expected = {"started"};
  for (const std::string& status : test::SmallDocumentStatuses()) expected.push_back(status);
  for (const char* rest : {"Exporting layer: \"Background\"...", "Exporting layer: \"Layer 1\"...", "Reporting...",
                           "report", "done"}) {
    expected.push_back(rest);
  }
  EXPECT_EQ(order, expected);

  EXPECT_EQ(dialog.events.front().enabledAfter, "0000000");
  for (size_t i = 0; i + 1 < dialog.events.size(); ++i) EXPECT_EQ(dialog.events[i].enabledAfter, "0000000");
  EXPECT_EQ(dialog.events.back().enabledAfter, "1111111");
  EXPECT_EQ(dialog.events[11].lParam, (100u << 16) | 100u);
  EXPECT_EQ(ProgressPosition(dialog.events[9].lParam), 50);
  EXPECT_EQ(dialog.report.toStdString(), "Ripping of file: \r\n\"" + dialog.sourcePath.toStdString() +
                                             "\"\r\nTo output folder: \r\n\"" + files_.Folder() +
                                             "out/\"\r\nDone.\r\n\r\nLayers ripped:\t2\r\nFiles saved:\t4\r\n");
  EXPECT_TRUE(dialog.isVisible());  // closing was refused while the job ran
  EXPECT_EQ(Find<QGroupBox>(dialog, "statusCaption")->title(), "Done.");
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
  EXPECT_EQ(Find<QGroupBox>(dialog, "statusCaption")->title(), "Failed.");
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
  EXPECT_EQ(std::count_if(dialog.events.begin(), dialog.events.end(), [](const auto& e) { return e.what == "started"; }),
            1);
}

TEST_F(ShellTest, ReportIsModalOverTheDialogWithNothingSelected) {
  RecordingDialog dialog;
  dialog.showRealReport = true;
  dialog.sourcePath = QString::fromStdString(files_.Write("job.psd", BuildDocument(test::SmallDocument()).bytes));
  dialog.outputFolder = QString::fromStdString(files_.Folder());
  bool seen = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* report = qobject_cast<ReportDialog*>(widget);
      if (report == nullptr || !report->isVisible() || seen) continue;
      seen = true;
      EXPECT_EQ(report->windowTitle(), "Results: ");
      EXPECT_TRUE(report->isModal());
      EXPECT_EQ(report->parentWidget(), &dialog);
      auto* box = Find<QPlainTextEdit>(*report, "resultsBox");
      EXPECT_TRUE(box->isReadOnly());
      EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::NoWrap);
      EXPECT_FALSE(box->textCursor().hasSelection());
      EXPECT_TRUE(box->toPlainText().startsWith("Ripping of file: \n"));
      EXPECT_EQ(Find<QPushButton>(*report, "doneButton")->text(), "&Done");
      EXPECT_EQ(EnabledStates(dialog), "0000000");  // still locked under the report
      SavePicture(*report, "report-dialog");
      SavePicture(dialog, "main-dialog-reporting");
      Find<QPushButton>(*report, "doneButton")->click();
    }
  });
  closer.start(20);
  RunJob(dialog);
  EXPECT_TRUE(seen);
  EXPECT_EQ(dialog.events.back().what, "done");
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

}  // namespace
}  // namespace peelbox::shell

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
