#include "shell/layer_tree.h"

#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "export/rip_job.h"
#include "export/thumbnail.h"

namespace peelbox::shell {

namespace {

constexpr int kThumbnailSide = 48;
constexpr size_t kThumbnailBatch = 16;
constexpr int kIndexRole = Qt::UserRole;

// The plan of a listing names each record's kind, groups and visibility,
// and says in words why a document cannot be read.
TreeRead RowsOf(const RipJob& job, int32_t result) {
  TreeRead read;
  if (result != 0) {
    read.error = job.Error();
    return read;
  }
  const auto plan = job.Plan();
  for (auto planned = plan.rbegin(); planned != plan.rend(); ++planned) {
    if (!planned->index || planned->facts.kind == "group end") continue;
    TreeRow row;
    row.index = *planned->index;
    row.name = planned->name;
    row.kind = planned->facts.kind;
    row.width = planned->facts.width;
    row.height = planned->facts.height;
    row.group = planned->facts.kind == "group";
    row.shown = planned->facts.visible && !planned->facts.hiddenByGroup;
    if (!planned->groupRecords.empty()) row.parent = planned->groupRecords.back();
    row.groups = planned->facts.groups;
    read.rows.push_back(std::move(row));
  }
  return read;
}

QImage ImageOf(const Thumbnail& thumbnail) {
  QImage image(thumbnail.width, thumbnail.height, QImage::Format_RGBA8888);
  for (int y = 0; y < thumbnail.height; ++y) {
    std::copy_n(thumbnail.rgba.data() + static_cast<size_t>(y) * thumbnail.width * 4, thumbnail.width * 4,
                image.scanLine(y));
  }
  return image;
}

}  // namespace

LayerTree::LayerTree(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* buttons = new QHBoxLayout;
  allButton_ = new QPushButton("A&ll", this);
  allButton_->setObjectName("allButton");
  visibleButton_ = new QPushButton("&Visible", this);
  visibleButton_->setObjectName("visibleButton");
  noneButton_ = new QPushButton("&None", this);
  noneButton_->setObjectName("noneButton");
  for (QPushButton* button : {allButton_, visibleButton_, noneButton_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  layout->addLayout(buttons);
  tree_ = new QTreeWidget(this);
  tree_->setObjectName("layerTree");
  tree_->setHeaderLabels({"Layer", "Kind", "Size"});
  tree_->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
  tree_->header()->setStretchLastSection(false);
  tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  tree_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  tree_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  layout->addWidget(tree_, 1);
  message_ = new QLabel(this);
  message_->setObjectName("treeMessage");
  message_->setWordWrap(true);
  message_->hide();
  layout->addWidget(message_);
  connect(allButton_, &QPushButton::clicked, this, &LayerTree::CheckAll);
  connect(visibleButton_, &QPushButton::clicked, this, &LayerTree::CheckVisible);
  connect(noneButton_, &QPushButton::clicked, this, &LayerTree::CheckNone);
  connect(tree_, &QTreeWidget::itemChanged, this, [this] { emit ChecksChanged(); });
}

LayerTree::~LayerTree() { StopReading(); }

void LayerTree::StopReading() {
  stop_.RequestStop();
  if (reader_.joinable()) reader_.join();
}

void LayerTree::SetSource(const QString& path) {
  if (path == source_) return;
  StopReading();
  source_ = path;
  ++generation_;
  loaded_ = false;
  rows_.clear();
  items_.clear();
  tree_->clear();
  message_->hide();
  tree_->show();
  if (path.isEmpty()) return;
  stop_ = StopToken::Make();
  // The reader owns the document; the rows and thumbnails come over by
  // value, queued to this widget's thread.
  reader_ = std::thread([this, generation = generation_, file = QFile::encodeName(path).toStdString(), stop = stop_] {
    RipJob job(file, "", 0, nullptr);
    job.options.listOnly = true;
    job.stopToken = stop;
    const int32_t result = job.Run();
    if (job.Stopped() || stop.StopRequested()) return;
    TreeRead read = RowsOf(job, result);
    std::vector<size_t> wanted;
    for (const TreeRow& row : read.rows) {
      if (!row.group) wanted.push_back(row.index);
    }
    QMetaObject::invokeMethod(
        this, [this, generation, read = std::move(read)]() mutable { Show(generation, std::move(read)); },
        Qt::QueuedConnection);
    const auto converter = job.document ? DocumentConverter(*job.document, job.options.colour) : nullptr;
    std::vector<TreeThumbnail> batch;
    for (size_t i = 0; i < wanted.size() && converter && !stop.StopRequested(); ++i) {
      const Thumbnail thumbnail = MakeThumbnail(*job.document, *converter, wanted[i], kThumbnailSide);
      if (thumbnail.width > 0) batch.push_back({wanted[i], ImageOf(thumbnail)});
      if (batch.size() < kThumbnailBatch && i + 1 < wanted.size()) continue;
      QMetaObject::invokeMethod(
          this,
          [this, generation, batch = std::move(batch), last = i + 1 == wanted.size()]() mutable {
            AddThumbnails(generation, std::move(batch), last);
          },
          Qt::QueuedConnection);
      batch.clear();
    }
    if (wanted.empty() || !converter) {
      QMetaObject::invokeMethod(
          this, [this, generation] { AddThumbnails(generation, {}, true); }, Qt::QueuedConnection);
    }
  });
}

void LayerTree::Show(int generation, TreeRead read) {
  if (generation != generation_) return;
  loaded_ = true;
  if (!read.error.empty()) {
    tree_->hide();
    message_->setText(QString::fromStdString(read.error));
    message_->show();
    emit RowsShown();
    return;
  }
  const QSignalBlocker quiet(tree_);
  rows_ = std::move(read.rows);
  std::map<size_t, QTreeWidgetItem*> byIndex;
  for (const TreeRow& row : rows_) {
    // A group's record lies above its layers, so it is made first.
    const auto parent = row.parent ? byIndex.find(*row.parent) : byIndex.end();
    auto* item = parent != byIndex.end() ? new QTreeWidgetItem(parent->second) : new QTreeWidgetItem(tree_);
    item->setText(0, QString::fromStdString(row.name));
    item->setText(1, QString::fromStdString(row.kind));
    item->setText(2, row.group ? QString() : QString("%1 × %2").arg(row.width).arg(row.height));
    item->setData(0, kIndexRole, static_cast<qulonglong>(row.index));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable | (row.group ? Qt::ItemIsAutoTristate : Qt::NoItemFlags));
    item->setCheckState(0, Qt::Checked);
    byIndex[row.index] = item;
    items_.push_back(item);
  }
  tree_->expandAll();
  emit RowsShown();
  emit ChecksChanged();
}

void LayerTree::AddThumbnails(int generation, std::vector<TreeThumbnail> thumbnails, bool last) {
  if (generation != generation_) return;
  std::map<size_t, QTreeWidgetItem*> byIndex;
  for (size_t i = 0; i < rows_.size(); ++i) byIndex[rows_[i].index] = items_[i];
  const QSignalBlocker quiet(tree_);
  for (const TreeThumbnail& thumbnail : thumbnails) {
    if (const auto item = byIndex.find(thumbnail.index); item != byIndex.end()) {
      item->second->setIcon(0, QIcon(QPixmap::fromImage(thumbnail.image)));
    }
  }
  if (last) emit ThumbnailsDone();
}

std::optional<std::vector<LayerRange>> LayerTree::Selection(const QString& path) const {
  if (path != source_ || !loaded_ || rows_.empty()) return std::nullopt;
  std::vector<LayerRange> ranges;
  bool all = true;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].group) continue;
    if (items_[i]->checkState(0) == Qt::Checked) {
      ranges.push_back({rows_[i].index, rows_[i].index});
    } else {
      all = false;
    }
  }
  if (all) return std::nullopt;
  return ranges;
}

const TreeRow* LayerTree::FirstChecked() const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (!rows_[i].group && items_[i]->checkState(0) == Qt::Checked) return &rows_[i];
  }
  return nullptr;
}

void LayerTree::CheckWhere(bool (*wanted)(const TreeRow& row)) {
  {
    const QSignalBlocker quiet(tree_);
    for (size_t i = 0; i < rows_.size(); ++i) {
      // A group's box follows its layers; an empty group's is its own.
      if (!rows_[i].group || items_[i]->childCount() == 0) {
        items_[i]->setCheckState(0, wanted(rows_[i]) ? Qt::Checked : Qt::Unchecked);
      }
    }
  }
  tree_->viewport()->update();
  emit ChecksChanged();
}

void LayerTree::CheckAll() {
  CheckWhere([](const TreeRow&) { return true; });
}

void LayerTree::CheckVisible() {
  CheckWhere([](const TreeRow& row) { return row.shown; });
}

void LayerTree::CheckNone() {
  CheckWhere([](const TreeRow&) { return false; });
}

}  // namespace peelbox::shell
