// Dialog units, in which both dialogs are laid out: a quarter of the average
// character width across, an eighth of the character height down, so that
// the dialogs keep their proportions with any font.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QSize>

namespace peelbox::shell {

class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics)
      : baseX_(metrics.averageCharWidth()), baseY_(metrics.height()) {}

  QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
  QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

 private:
  int X(int units) const { return (units * baseX_ + 2) / 4; }
  int Y(int units) const { return (units * baseY_ + 4) / 8; }
  int baseX_;
  int baseY_;
};

}  // namespace peelbox::shell
