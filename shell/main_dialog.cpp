#include "shell/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QCompleter>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "export/file_name.h"
#include "export/messages.h"
#include "export/plan.h"
#include "export/preset.h"
#include "shell/app_icon.h"
#include "shell/dialog_bridge.h"
#include "shell/dialog_units.h"
#include "shell/layer_tree.h"
#include "shell/options_panel.h"
#include "shell/report_dialog.h"
#include "shell/rip_thread.h"
#include "shell/settings.h"

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
constexpr char kPresetFilter[] = "Peelbox presets (*.json)";
constexpr int kLowerHeight = 300;  // the layers and the options, in pixels
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
  // The layers and options below the template take the extra height.
  const QSize templateSize = units.Size(320, 126);
  templateHeight_ = templateSize.height();
  setMinimumSize(templateSize.width(), templateHeight_ + kLowerHeight / 2);
  resize(templateSize.width(), templateHeight_ + kLowerHeight);
  baseWidth_ = templateSize.width();
  setAcceptDrops(true);

  // In template order, which is also the tab order.
  GroupBox(" Source file: ", units.Rect(5, 3, 250, 32), this)->setObjectName("sourceGroup");
  sourceFileBox_ = EditBox("sourceFileBox", units.Rect(10, 13, 185, 14), this);
  sourceFileBox_->setPlaceholderText("A Photoshop document (.psd, .psb)");
  browseButton_ = Button("&Browse", "browseButton", units.Rect(200, 13, 50, 14), this);
  GroupBox(" Output folder: ", units.Rect(5, 40, 310, 45), this)->setObjectName("outputGroup");
  // Select lines up with Browse above it.
  outputFolderBox_ = EditBox("outputFolderBox", units.Rect(10, 50, 185, 14), this);
  outputFolderBox_->setPlaceholderText("The folder for the layers' files");
  selectButton_ = Button("&Select", "selectButton", units.Rect(200, 50, 50, 14), this);
  ignoreAlphaBox_ = new QCheckBox("Ignore &Alpha-channel (Keeps complete transparency only)", this);
  ignoreAlphaBox_->setObjectName("ignoreAlphaBox");
  // As wide as its text needs where the font is wider than the template's,
  // within the group box.
  QRect checkArea = units.Rect(10, 70, 197, 10);
  checkArea.setWidth(
      std::clamp(ignoreAlphaBox_->sizeHint().width(), checkArea.width(), units.Rect(10, 70, 300, 10).width()));
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

  // Below the template: the document's layers, then the options.
  lower_ = new QWidget(this);
  lower_->setObjectName("lowerArea");
  auto* lower = new QVBoxLayout(lower_);
  lower->setContentsMargins(0, 0, 0, 0);
  layerTree_ = new LayerTree(lower_);
  lower->addWidget(layerTree_, 1);
  auto* presetRow = new QHBoxLayout;
  optionsButton_ = new QToolButton(lower_);
  optionsButton_->setObjectName("optionsButton");
  optionsButton_->setText("&Options");
  optionsButton_->setCheckable(true);
  optionsButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  optionsButton_->setArrowType(Qt::RightArrow);
  loadPresetButton_ = Button("&Load preset...", "loadPresetButton", QRect(), lower_);
  savePresetButton_ = Button("Sa&ve preset...", "savePresetButton", QRect(), lower_);
  presetRow->addWidget(optionsButton_);
  presetRow->addStretch();
  presetRow->addWidget(loadPresetButton_);
  presetRow->addWidget(savePresetButton_);
  lower->addLayout(presetRow);
  optionsPanel_ = new OptionsPanel(lower_);
  optionsPanel_->setObjectName("optionsPanel");
  optionsPanel_->hide();
  lower->addWidget(optionsPanel_);

  recentModel_ = new QStringListModel(this);
  auto* completer = new QCompleter(recentModel_, this);
  completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  sourceFileBox_->setCompleter(completer);
  sourceFileBox_->addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition)
      ->setObjectName("recentAction");
  connect(sourceFileBox_->actions().last(), &QAction::triggered, completer, [completer] { completer->complete(); });

  setTabOrder(sourceFileBox_, browseButton_);
  setTabOrder(browseButton_, outputFolderBox_);
  setTabOrder(outputFolderBox_, selectButton_);
  setTabOrder(selectButton_, ignoreAlphaBox_);
  setTabOrder(ignoreAlphaBox_, startButton_);
  setTabOrder(startButton_, closeButton_);
  setTabOrder(closeButton_, layerTree_);

  connect(browseButton_, &QPushButton::clicked, this, &MainDialog::OnBrowse);
  connect(selectButton_, &QPushButton::clicked, this, &MainDialog::OnSelect);
  connect(startButton_, &QPushButton::clicked, this, &MainDialog::OnOK);
  connect(closeButton_, &QPushButton::clicked, this, &MainDialog::reject);
  connect(loadPresetButton_, &QPushButton::clicked, this, &MainDialog::OnLoadPreset);
  connect(savePresetButton_, &QPushButton::clicked, this, &MainDialog::OnSavePreset);
  connect(optionsButton_, &QToolButton::toggled, this, &MainDialog::ShowOptions);
  connect(sourceFileBox_, &QLineEdit::editingFinished, this, [this] {
    if (!jobActive_) SourceChanged();
  });
  connect(optionsPanel_, &OptionsPanel::Changed, this, &MainDialog::UpdateExample);
  connect(layerTree_, &LayerTree::ChecksChanged, this, &MainDialog::UpdateExample);

  chooseSourceFile = [this](const QString& current) { return AskForSourceFile(current); };
  chooseOutputFolder = [this](const QString& current) { return AskForOutputFolder(current); };
  choosePresetFile = [this](bool save) -> std::optional<QString> {
    const QString path = save ? QFileDialog::getSaveFileName(this, "Save preset", QString(), kPresetFilter)
                              : QFileDialog::getOpenFileName(this, "Load preset", QString(), kPresetFilter);
    if (path.isEmpty()) return std::nullopt;
    return path;
  };
  askReplace = [this](size_t existing) {
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    QString("%1 files in the output folder will be replaced.").arg(existing), QMessageBox::NoButton,
                    this);
    QPushButton* replace = box.addButton("&Replace", QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == replace;
  };
}

QString QueueText(const QStringList& documents) { return QString("%1 documents").arg(documents.size()); }

MainDialog::~MainDialog() {
  // The children outlive this part of the dialog: a box that loses focus
  // while they go must not call back into it.
  for (QObject* child : std::initializer_list<QObject*>{sourceFileBox_, optionsPanel_, layerTree_}) {
    child->disconnect(this);
  }
  // Only a worker past its last message can be left: it ends on its own.
  if (worker_.joinable()) worker_.join();
}

void MainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!initialized_) OnInitDialog();
}

void MainDialog::OnInitDialog() {
  initialized_ = true;
  // Only documents that are still there are offered.
  QStringList existing;
  for (const QString& path : recent) {
    if (QFileInfo(path).isFile()) existing.append(path);
  }
  recentModel_->setStringList(existing);
  optionsButton_->setChecked(optionsShown);
  ShowOptions(optionsShown);
  UpdateData(false);  // the restored settings appear in the controls
  SourceChanged();
  if (!startMessage.isEmpty()) statusCaption_->setTitle(startMessage);
  sourceFileBox_->setFocus();
}

QStringList MainDialog::Sources() const { return queue.size() > 1 ? queue : QStringList{sourcePath}; }

void MainDialog::SetQueue(const QStringList& documents) {
  queue = documents.size() > 1 ? documents : QStringList();
  if (documents.size() == 1) sourcePath = documents.first();
  if (initialized_) {
    UpdateData(false);
    SourceChanged();
  }
}

// The tree shows one document; a queue has no selection.
void MainDialog::SourceChanged() {
  UpdateData(true);
  layerTree_->SetSource(queue.size() > 1 ? QString() : sourcePath);
  UpdateExample();
}

void MainDialog::UpdateExample() {
  ExportOptions shown = options;
  std::string problem;
  if (!optionsPanel_->ReadOptions(&shown, &problem)) {
    optionsPanel_->ShowExample(QString::fromStdString(problem));
    return;
  }
  const QString document = QFileInfo(Sources().first()).completeBaseName();
  auto namer = LayerNamer::Create(shown, QFile::encodeName(document).toStdString(), &problem);
  if (!namer) {
    optionsPanel_->ShowExample(QString::fromStdString(problem));
    return;
  }
  const TreeRow* first = layerTree_->FirstChecked();
  PlannedRecord planned;
  planned.name = first != nullptr ? first->name : "Layer 1";
  planned.index = first != nullptr ? first->index : 0;
  planned.number = 1;
  planned.facts.groups = first != nullptr ? first->groups : std::vector<std::string>();
  planned.groupRecords.assign(planned.facts.groups.size(), 0);
  const int64_t width = first != nullptr ? first->width : 0;
  const int64_t height = first != nullptr ? first->height : 0;
  namer->Name(&planned, ImagePlace{0, 0, width, height});
  optionsPanel_->ShowExample(planned.files.empty() ? QString()
                                                   : "First file: " + QString::fromStdString(planned.files.front()));
}

void MainDialog::ShowOptions(bool shown) {
  optionsShown = shown;
  optionsButton_->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
  const bool changes = optionsPanel_->isVisibleTo(lower_) != shown;
  optionsPanel_->setVisible(shown);
  // The window grows by the options' height rather than squeezing the tree.
  // On a small screen the tree gives up the height the window cannot take.
  if (changes) {
    const int panel = optionsPanel_->sizeHint().height();
    const int frame = frameGeometry().height() - height();
    const int available = screen() != nullptr ? screen()->availableGeometry().height() - frame : height() + panel;
    resize(width(),
           std::clamp(height() + (shown ? panel : -panel), minimumHeight(), std::max(minimumHeight(), available)));
  }
  PlaceLower();
}

bool MainDialog::LoadPresetFile(const QString& path) {
  if (initialized_) UpdateData(true);
  std::string error;
  if (!LoadPreset(QFile::encodeName(path).toStdString(), &options, &error)) {
    statusCaption_->setTitle(QString::fromStdString(error));
    return false;
  }
  ignoreAlpha = options.ignoreAlpha ? 1 : 0;
  if (initialized_) UpdateData(false);
  return true;
}

bool MainDialog::SavePresetFile(const QString& path) {
  if (initialized_) UpdateData(true);
  std::string error;
  ExportOptions saved = options;
  saved.ignoreAlpha = ignoreAlpha != 0;
  if (!SavePreset(QFile::encodeName(path).toStdString(), saved, &error)) {
    statusCaption_->setTitle(QString::fromStdString(error));
    return false;
  }
  return true;
}

void MainDialog::OnLoadPreset() {
  if (const std::optional<QString> path = choosePresetFile(false)) LoadPresetFile(*path);
}

void MainDialog::OnSavePreset() {
  if (const std::optional<QString> path = choosePresetFile(true)) SavePresetFile(*path);
}

void MainDialog::UpdateData(bool fromControls) {
  if (fromControls) {
    ignoreAlpha = ignoreAlphaBox_->isChecked() ? 1 : 0;
    outputFolder = WithSeparator(outputFolderBox_->text());
    // A queue stays while its box shows it; typing replaces it.
    if (queue.size() < 2 || sourceFileBox_->text() != QueueText(queue)) {
      queue.clear();
      sourcePath = sourceFileBox_->text();
    }
    std::string ignored;  // a bad value stays in its box, and Start says why
    optionsPanel_->ReadOptions(&options, &ignored);
    options.ignoreAlpha = ignoreAlpha != 0;
  } else {
    outputFolder = WithSeparator(outputFolder);
    ignoreAlphaBox_->setChecked(ignoreAlpha != 0);
    outputFolderBox_->setText(outputFolder);
    sourceFileBox_->setText(queue.size() > 1 ? QueueText(queue) : sourcePath);
    optionsPanel_->SetOptions(options);
  }
}

void MainDialog::OnBrowse() {
  UpdateData(true);  // typed text and the tick count first
  if (const std::optional<QString> chosen = chooseSourceFile(sourcePath)) {
    sourcePath = *chosen;
    queue.clear();
    UpdateData(false);
    SourceChanged();
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
  // A typed relative folder is taken from the home folder, and shown so.
  if (!outputFolder.isEmpty() && QDir::isRelativePath(outputFolder)) {
    outputFolder = QDir::home().filePath(outputFolder);
    UpdateData(false);
  }
  ExportOptions job = options;
  std::string problem;
  if (!optionsPanel_->ReadOptions(&job, &problem)) {
    statusCaption_->setTitle(QString::fromStdString(problem));
    return;
  }
  job.ignoreAlpha = ignoreAlpha != 0;
  job.layers = queue.size() > 1 ? std::nullopt : layerTree_->Selection(sourcePath);
  if (worker_.joinable()) worker_.join();  // the previous job is past its last message
  auto request = std::make_unique<RipRequest>();
  for (const QString& source : Sources()) request->sources.push_back(PathBytes(source));
  request->outputFolder = PathBytes(outputFolder);
  request->options = job;
  request->window = bridge_.get();
  const QStringList started = Sources();
  if (!sourcePath.isEmpty() || queue.size() > 1) recent = WithRecent(recent, started);
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

void MainDialog::OnRipResult(const QString& text) { resultLine_ = text; }

void MainDialog::OnRipDone(RipOutcome outcome) {
  SetInputsEnabled(true);
  closeButton_->setText(kCloseText);
  ResetProgress();
  // The result stays on screen after the report has closed.
  const char* ended = outcome == kRipFailed ? kFailedCaption : outcome == kRipStopped ? kStoppedCaption : kDoneCaption;
  statusCaption_->setTitle(resultLine_.isEmpty() ? QString(ended) : resultLine_);
  resultLine_.clear();
  jobActive_ = false;
}

bool MainDialog::ConfirmReplace(size_t existing) { return askReplace(existing); }

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
    stretch.control->setGeometry(stretch.grows ? stretch.base.adjusted(0, 0, extra, 0)
                                               : stretch.base.translated(extra, 0));
  }
  PlaceLower();
}

void MainDialog::PlaceLower() {
  const int margin = statusCaption_->x();
  lower_->setGeometry(margin, templateHeight_, width() - 2 * margin, std::max(0, height() - templateHeight_ - margin));
}

// Photoshop documents (by their extension, in any case) or one folder;
// nothing while a job runs.
std::optional<MainDialog::Drop> MainDialog::DropOf(const QMimeData* data) const {
  if (jobActive_ || data == nullptr || !data->hasUrls() || data->urls().isEmpty()) return std::nullopt;
  Drop drop;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return std::nullopt;
    const QFileInfo info(url.toLocalFile());
    const QString suffix = info.suffix().toLower();
    if (info.isDir() && data->urls().size() == 1) return Drop{{info.absoluteFilePath()}, true};
    if (!info.isFile() || (suffix != "psd" && suffix != "psb")) return std::nullopt;
    drop.paths.append(info.absoluteFilePath());
  }
  return drop;
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
  if (drop->folder) {
    outputFolder = drop->paths.first();
    UpdateData(false);
  } else {
    SetQueue(drop->paths);
  }
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
                                                          outputFolderBox_, selectButton_, ignoreAlphaBox_, lower_}) {
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
