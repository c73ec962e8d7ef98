// The document's layers as a tree with check boxes: read on a worker
// thread when the source is set, replaced when it changes, thumbnails filled
// in as they come. Only checked layers are written.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "export/export_options.h"
#include "psd/stop_token.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace peelbox::shell {

// One record as the tree shows it; made on the reader's thread and handed
// over by value.
struct TreeRow {
  size_t index = 0;
  std::string name;
  std::string kind;
  int64_t width = 0;
  int64_t height = 0;
  bool group = false;
  bool shown = true;  // visible, and in no hidden group
  std::optional<size_t> parent;
  std::vector<std::string> groups;  // outermost first
};

struct TreeRead {
  std::vector<TreeRow> rows;  // top-most first; group ends left out
  std::string error;          // why the document cannot be read, in words
};

struct TreeThumbnail {
  size_t index = 0;
  QImage image;
};

class LayerTree : public QWidget {
  Q_OBJECT

 public:
  explicit LayerTree(QWidget* parent = nullptr);
  ~LayerTree() override;

  // Reads `path` anew unless it is the document shown; empty clears.
  void SetSource(const QString& path);
  const QString& Source() const { return source_; }
  // The checked layers of `path`; none when every layer is checked or the
  // tree does not show `path` (yet).
  std::optional<std::vector<LayerRange>> Selection(const QString& path) const;
  // The top-most checked layer, for an example of a file name.
  const TreeRow* FirstChecked() const;
  bool Loaded() const { return loaded_; }

  void CheckAll();
  void CheckVisible();
  void CheckNone();

 signals:
  void RowsShown();
  void ThumbnailsDone();
  void ChecksChanged();

 private:
  void StopReading();
  void Show(int generation, TreeRead read);
  void AddThumbnails(int generation, std::vector<TreeThumbnail> thumbnails, bool last);
  void CheckWhere(bool (*wanted)(const TreeRow& row));

  QTreeWidget* tree_;
  QLabel* message_;
  QPushButton* allButton_;
  QPushButton* visibleButton_;
  QPushButton* noneButton_;
  QString source_;
  bool loaded_ = false;
  int generation_ = 0;  // results of an earlier source are dropped
  std::vector<TreeRow> rows_;
  std::vector<QTreeWidgetItem*> items_;  // by position in rows_
  std::thread reader_;
  StopToken stop_;
};

}  // namespace peelbox::shell
