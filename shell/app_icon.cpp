#include "shell/app_icon.h"

namespace peelbox::shell {

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) icon.addFile(QString(":/icons/peelbox-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace peelbox::shell
