// The "Options" area: one control per option, built from a table whose rows
// name a preset key, so that an option is one row here and one in the
// preset's table; the formats come from the format registry.
#pragma once

#include <QString>
#include <QWidget>
#include <map>
#include <string>

#include "export/export_options.h"

class QLabel;

namespace peelbox::shell {

class OptionsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit OptionsPanel(QWidget* parent = nullptr);

  void SetOptions(const ExportOptions& options);
  // The options shown, over `options`; false and *error naming the option
  // when one cannot be used.
  bool ReadOptions(ExportOptions* options, std::string* error) const;
  // Under the name template: the first file the options would give.
  void ShowExample(const QString& text);

 signals:
  void Changed();

 private:
  std::map<std::string, QWidget*> controls_;  // by preset key; formats by "format:<name>"
  QLabel* example_;
};

}  // namespace peelbox::shell
