#include "shell/options_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "export/output_format.h"
#include "export/preset.h"

namespace peelbox::shell {

namespace {

enum class Kind { kFlag, kChoice, kNumber, kText, kList };

// One row per option, in the order shown; the key is the preset's.
struct Field {
  const char* key;
  const char* label;
  Kind kind;
  const char* choices;  // for kChoice, by "|"
  const char* hint;
};

constexpr Field kFields[] = {
    {"extent", "E&xtent:", Kind::kChoice, "layer|trim|canvas", nullptr},
    {"pad", "Pa&dding:", Kind::kNumber, nullptr, nullptr},
    {"as-shown", "Apply &masks, opacity and clipping", Kind::kFlag, nullptr, nullptr},
    {"color", "Colo&ur:", Kind::kChoice, "keep|srgb", nullptr},
    {"name", "Name te&mplate:", Kind::kText, nullptr, "{name}"},
    {"only", "Onl&y:", Kind::kList, nullptr, "patterns separated by ;, such as UI/**"},
    {"skip", "S&kip:", Kind::kList, nullptr, "patterns separated by ;, such as *_old"},
    {"ignore-case", "Patterns i&gnore case", Kind::kFlag, nullptr, nullptr},
    {"visible-only", "Visible layers onl&y", Kind::kFlag, nullptr, nullptr},
    {"groups-as-folders", "Groups as fold&ers", Kind::kFlag, nullptr, nullptr},
    {"fast", "&Fast PNGs (larger files)", Kind::kFlag, nullptr, nullptr},
};

constexpr char kListSeparator = ';';

}  // namespace

OptionsPanel::OptionsPanel(QWidget* parent) : QWidget(parent) {
  auto* form = new QFormLayout(this);
  form->setContentsMargins(0, 0, 0, 0);
  auto* formats = new QHBoxLayout;
  for (const OutputFormat* format : OutputFormats()) {
    auto* box = new QCheckBox(QString(format->name).toUpper(), this);
    box->setObjectName(QString("format_") + format->name);
    connect(box, &QCheckBox::toggled, this, &OptionsPanel::Changed);
    controls_[std::string("format:") + format->name] = box;
    formats->addWidget(box);
  }
  formats->addStretch();
  form->addRow("Formats:", formats);
  for (const Field& field : kFields) {
    QWidget* control = nullptr;
    switch (field.kind) {
      case Kind::kFlag: {
        auto* box = new QCheckBox(field.label, this);
        connect(box, &QCheckBox::toggled, this, &OptionsPanel::Changed);
        control = box;
        break;
      }
      case Kind::kChoice: {
        auto* combo = new QComboBox(this);
        combo->addItems(QString(field.choices).split('|'));
        connect(combo, &QComboBox::currentIndexChanged, this, &OptionsPanel::Changed);
        control = combo;
        break;
      }
      case Kind::kNumber: {
        auto* spin = new QSpinBox(this);
        spin->setRange(0, ExportOptions::kMaxPad);
        connect(spin, &QSpinBox::valueChanged, this, &OptionsPanel::Changed);
        control = spin;
        break;
      }
      case Kind::kText:
      case Kind::kList: {
        auto* edit = new QLineEdit(this);
        if (field.hint != nullptr) edit->setPlaceholderText(field.hint);
        connect(edit, &QLineEdit::textChanged, this, &OptionsPanel::Changed);
        control = edit;
        break;
      }
    }
    control->setObjectName(QString("option_") + field.key);
    controls_[field.key] = control;
    if (field.kind == Kind::kFlag) {
      form->addRow(control);
    } else {
      auto* label = new QLabel(field.label, this);
      label->setBuddy(control);
      form->addRow(label, control);
    }
    if (std::string(field.key) == "name") {
      example_ = new QLabel(this);
      example_->setObjectName("nameExample");
      form->addRow("", example_);
    }
  }
}

void OptionsPanel::SetOptions(const ExportOptions& options) {
  const QJsonObject preset = QJsonDocument::fromJson(QByteArray::fromStdString(PresetText(options))).object();
  for (const OutputFormat* format : OutputFormats()) {
    const bool on = std::find(options.formats.begin(), options.formats.end(), format->name) != options.formats.end();
    static_cast<QCheckBox*>(controls_[std::string("format:") + format->name])->setChecked(on);
  }
  for (const Field& field : kFields) {
    const QJsonValue value = preset.value(field.key);
    QWidget* control = controls_[field.key];
    switch (field.kind) {
      case Kind::kFlag:
        static_cast<QCheckBox*>(control)->setChecked(value.toBool());
        break;
      case Kind::kChoice:
        static_cast<QComboBox*>(control)->setCurrentText(value.toString());
        break;
      case Kind::kNumber:
        static_cast<QSpinBox*>(control)->setValue(value.toInt());
        break;
      case Kind::kText:
        static_cast<QLineEdit*>(control)->setText(value.toString());
        break;
      case Kind::kList: {
        QStringList items;
        for (const QJsonValue& item : value.toArray()) items.append(item.toString());
        static_cast<QLineEdit*>(control)->setText(items.join(QString(kListSeparator) + " "));
        break;
      }
    }
  }
}

bool OptionsPanel::ReadOptions(ExportOptions* options, std::string* error) const {
  QJsonObject preset;
  QStringList formats;
  for (const OutputFormat* format : OutputFormats()) {
    if (static_cast<QCheckBox*>(controls_.at(std::string("format:") + format->name))->isChecked()) {
      formats.append(format->name);
    }
  }
  preset["formats"] = formats.join(',');
  for (const Field& field : kFields) {
    QWidget* control = controls_.at(field.key);
    switch (field.kind) {
      case Kind::kFlag:
        preset[field.key] = static_cast<QCheckBox*>(control)->isChecked();
        break;
      case Kind::kChoice:
        preset[field.key] = static_cast<QComboBox*>(control)->currentText();
        break;
      case Kind::kNumber:
        preset[field.key] = static_cast<QSpinBox*>(control)->value();
        break;
      case Kind::kText: {
        // An empty box means what its hint shows.
        const QString text = static_cast<QLineEdit*>(control)->text();
        preset[field.key] = text.isEmpty() && field.hint != nullptr ? QString(field.hint) : text;
        break;
      }
      case Kind::kList: {
        QJsonArray items;
        for (const QString& item : static_cast<QLineEdit*>(control)->text().split(kListSeparator)) {
          if (!item.trimmed().isEmpty()) items.append(item.trimmed());
        }
        preset[field.key] = items;
        break;
      }
    }
  }
  return ReadPreset(QJsonDocument(preset).toJson().toStdString(), options, error);
}

void OptionsPanel::ShowExample(const QString& text) { example_->setText(text); }

}  // namespace peelbox::shell
