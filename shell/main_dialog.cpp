#include "shell/main_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "export/file_name.h"
#include "export/messages.h"
#include "shell/app_icon.h"
#include "shell/dialog_bridge.h"
#include "shell/dialog_units.h"
#include "shell/report_dialog.h"
#include "shell/rip_thread.h"

namespace peelbox::shell {

namespace {

constexpr char kCaption[] = "Peelbox v1.1 - Outputs PNG and GIF files";
constexpr char kProgressCaption[] = " Progress: ";
constexpr char kStartingCaption[] = "Starting...";
constexpr char kDoneCaption[] = "Done.";
constexpr char kFailedCaption[] = "Failed.";
constexpr char kStoppedCaption[] = "Stopped.";
constexpr char kCloseText[] = "&Close";
constexpr char kStopText[] = "&Stop";
#ifdef _WIN32
constexpr char kAllFilesFilter[] = "All files (*.*)";
#else
constexpr char kAllFilesFilter[] = "All files (*)";  // "*.*" would hide names without a dot
#endif

QString WithSeparator(const QString& folder) {
  return QFile::decodeName(QByteArray::fromStdString(peelbox::WithSeparator(QFile::encodeName(folder).toStdString())));
}

std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QGroupBox* GroupBox(const QString& title, const QRect& geometry, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setGeometry(geometry);
  return box;
}

QPushButton* Button(const QString& text, const char* name, const QRect& geometry, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* EditBox(const char* name, const QRect& geometry, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setGeometry(geometry);
  return box;
}

}  // namespace

MainDialog::MainDialog(QWidget* parent) : QDialog(parent), bridge_(std::make_unique<DialogBridge>(this)) {
  setWindowTitle(kCaption);
  setWindowIcon(ApplicationIcon());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  const DialogUnits units(fontMetrics());
  // Wider, for long paths; never lower or narrower than the template.
  const QSize templateSize = units.Size(320, 126);
  setMinimumSize(templateSize);
  setMaximumHeight(templateSize.height());
  resize(templateSize);
  baseWidth_ = templateSize.width();
  setAcceptDrops(true);

  // In template order, which is also the tab order.
  GroupBox(" Source file: ", units.Rect(5, 3, 250, 32), this)->setObjectName("sourceGroup");
  sourceFileBox_ = EditBox("sourceFileBox", units.Rect(10, 13, 185, 14), this);
  browseButton_ = Button("&Browse", "browseButton", units.Rect(200, 13, 50, 14), this);
  GroupBox(" Output folder: ", units.Rect(5, 40, 310, 45), this)->setObjectName("outputGroup");
  outputFolderBox_ = EditBox("outputFolderBox", units.Rect(10, 50, 245, 14), this);
  selectButton_ = Button("&Select", "selectButton", units.Rect(260, 50, 50, 14), this);
  ignoreAlphaBox_ = new QCheckBox("Ignore Alpha-channel (Keeps complete transparency only)", this);
  ignoreAlphaBox_->setObjectName("ignoreAlphaBox");
  // As wide as its text needs where the font is wider than the template's,
  // within the group box.
  QRect checkArea = units.Rect(10, 70, 197, 10);
  checkArea.setWidth(std::clamp(ignoreAlphaBox_->sizeHint().width(), checkArea.width(), units.Rect(10, 70, 300, 10).width()));
  ignoreAlphaBox_->setGeometry(checkArea);
  startButton_ = Button("S&tart", "startButton", units.Rect(260, 7, 50, 14), this);
  startButton_->setDefault(true);
  closeButton_ = Button(kCloseText, "closeButton", units.Rect(260, 23, 50, 14), this);
  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("progressBar");
  progressBar_->setGeometry(units.Rect(10, 100, 300, 15));
  progressBar_->setTextVisible(false);
  ResetProgress();
  statusCaption_ = GroupBox(kProgressCaption, units.Rect(5, 90, 310, 30), this);
  statusCaption_->setObjectName("statusCaption");
  statusCaption_->lower();  // drawn behind the bar it frames
  for (QWidget* grows : {findChild<QWidget*>("sourceGroup"), static_cast<QWidget*>(sourceFileBox_),
                         findChild<QWidget*>("outputGroup"), static_cast<QWidget*>(outputFolderBox_),
                         static_cast<QWidget*>(progressBar_), static_cast<QWidget*>(statusCaption_)}) {
    stretches_.push_back({grows, grows->geometry(), true});
  }
  for (QWidget* moves : {browseButton_, selectButton_, startButton_, closeButton_}) {
    stretches_.push_back({moves, moves->geometry(), false});
  }

  setTabOrder(sourceFileBox_, browseButton_);
  setTabOrder(browseButton_, outputFolderBox_);
  setTabOrder(outputFolderBox_, selectButton_);
  setTabOrder(selectButton_, ignoreAlphaBox_);
  setTabOrder(ignoreAlphaBox_, startButton_);
  setTabOrder(startButton_, closeButton_);

  connect(browseButton_, &QPushButton::clicked, this, &MainDialog::OnBrowse);
  connect(selectButton_, &QPushButton::clicked, this, &MainDialog::OnSelect);
  connect(startButton_, &QPushButton::clicked, this, &MainDialog::OnOK);
  connect(closeButton_, &QPushButton::clicked, this, &MainDialog::reject);

  chooseSourceFile = [this](const QString& current) { return AskForSourceFile(current); };
  chooseOutputFolder = [this](const QString& current) { return AskForOutputFolder(current); };
}

MainDialog::~MainDialog() {
  // Only a worker past its last message can be left: it ends on its own.
  if (worker_.joinable()) worker_.join();
}

void MainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!initialized_) OnInitDialog();
}

void MainDialog::OnInitDialog() {
  initialized_ = true;
  UpdateData(false);  // the restored settings appear in the controls
  sourceFileBox_->setFocus();
}

void MainDialog::UpdateData(bool fromControls) {
  if (fromControls) {
    ignoreAlpha = ignoreAlphaBox_->isChecked() ? 1 : 0;
    outputFolder = WithSeparator(outputFolderBox_->text());
    sourcePath = sourceFileBox_->text();
  } else {
    outputFolder = WithSeparator(outputFolder);
    ignoreAlphaBox_->setChecked(ignoreAlpha != 0);
    outputFolderBox_->setText(outputFolder);
    sourceFileBox_->setText(sourcePath);
  }
}

void MainDialog::OnBrowse() {
  UpdateData(true);  // typed text and the tick count first
  if (const std::optional<QString> chosen = chooseSourceFile(sourcePath)) {
    sourcePath = *chosen;
    UpdateData(false);
  }
}

void MainDialog::OnSelect() {
  UpdateData(true);
  if (const std::optional<QString> chosen = chooseOutputFolder(outputFolder)) outputFolder = *chosen;
  UpdateData(false);  // also when cancelled
}

void MainDialog::OnOK() {
  // A second Start before the first job has reported its start must not
  // begin another job: one job at a time.
  if (jobActive_) return;
  UpdateData(true);
  if (worker_.joinable()) worker_.join();  // the previous job is past its last message
  auto request = std::make_unique<RipRequest>();
  request->sourcePath = PathBytes(sourcePath);
  request->outputFolder = PathBytes(outputFolder);
  request->ignoreAlpha = ignoreAlpha;
  request->window = bridge_.get();
  stopToken_ = StopToken::Make();
  request->stop = stopToken_;
  jobActive_ = true;
  worker_ = std::thread(RipThreadProc, std::move(request));
}

void MainDialog::reject() {
  // While a job runs, Close is Stop, and so are Escape, Alt+F4 and the close
  // box: the job is asked to stop and reports to this dialog until it is
  // done, so the dialog stays.
  if (jobActive_) {
    stopToken_.RequestStop();
    return;
  }
  QDialog::reject();
}

void MainDialog::OnRipStarted() {
  SetInputsEnabled(false);
  closeButton_->setEnabled(true);
  closeButton_->setText(kStopText);
  ResetProgress();
  statusCaption_->setTitle(kStartingCaption);
}

void MainDialog::OnRipStatus(const QString& text, uint32_t lParam) {
  progressBar_->setRange(0, ProgressMaximum(lParam));
  progressBar_->setValue(ProgressPosition(lParam));
  statusCaption_->setTitle(text);
}

void MainDialog::OnRipDone(RipOutcome outcome) {
  SetInputsEnabled(true);
  closeButton_->setText(kCloseText);
  ResetProgress();
  statusCaption_->setTitle(outcome == kRipFailed ? kFailedCaption : outcome == kRipStopped ? kStoppedCaption : kDoneCaption);
  jobActive_ = false;
}

void MainDialog::ShowReport(const QString& text, const QString& filesFolder) {
  ReportDialog report(this);
  report.SetResults(text);
  report.SetFilesFolder(filesFolder);
  report.exec();
}

void MainDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int extra = std::max(0, width() - baseWidth_);
  for (const Stretch& stretch : stretches_) {
    stretch.control->setGeometry(stretch.grows ? stretch.base.adjusted(0, 0, extra, 0) : stretch.base.translated(extra, 0));
  }
}

// One Photoshop document (by its extension, in any case) or one folder;
// nothing while a job runs.
std::optional<MainDialog::Drop> MainDialog::DropOf(const QMimeData* data) const {
  if (jobActive_ || data == nullptr || !data->hasUrls() || data->urls().size() != 1) return std::nullopt;
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return std::nullopt;
  const QFileInfo info(url.toLocalFile());
  if (info.isDir()) return Drop{info.absoluteFilePath(), true};
  const QString suffix = info.suffix().toLower();
  if (info.isFile() && (suffix == "psd" || suffix == "psb")) return Drop{info.absoluteFilePath(), false};
  return std::nullopt;
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (DropOf(event->mimeData())) event->acceptProposedAction();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (DropOf(event->mimeData())) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
  const std::optional<Drop> drop = DropOf(event->mimeData());
  if (!drop) return;
  UpdateData(true);  // what was typed stays
  (drop->folder ? outputFolder : sourcePath) = drop->path;
  UpdateData(false);
  event->acceptProposedAction();
}

QString StartFolder(const QString& folder) {
  if (!folder.isEmpty()) {
    for (QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());;) {
      if (QFileInfo(path).isDir()) return path;
      const QString parent = QFileInfo(path).path();
      if (parent == path) break;
      path = parent;
    }
  }
  return QDir::homePath();
}

void MainDialog::SetInputsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{startButton_, closeButton_, sourceFileBox_, browseButton_,
                                                          outputFolderBox_, selectButton_, ignoreAlphaBox_}) {
    control->setEnabled(enabled);
  }
}

void MainDialog::ResetProgress() {
  progressBar_->setRange(0, static_cast<int>(kProgressMaximum));
  progressBar_->setValue(0);
}

std::optional<QString> MainDialog::AskForSourceFile(const QString& current) {
  QFileDialog dialog(this, "Open");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // a name that does not exist yet is accepted
  dialog.setNameFilters({"PSD - Photoshop (*.psd *.psb)", kAllFilesFilter});
  dialog.setDefaultSuffix("psd");
  if (!current.isEmpty()) dialog.selectFile(current);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

std::optional<QString> MainDialog::AskForOutputFolder(const QString& current) {
  const QString chosen = QFileDialog::getExistingDirectory(this, "Choose an output folder", StartFolder(current));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen;
}

}  // namespace peelbox::shell
