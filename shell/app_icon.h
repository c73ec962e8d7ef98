#pragma once

#include <QIcon>

namespace peelbox::shell {

// The application icon at every size it is drawn in (16 to 256 pixels).
QIcon ApplicationIcon();

}  // namespace peelbox::shell
