#pragma once

#include <QIcon>
#include <QSize>

#include "panel/button_table.h"

namespace zelt {

// The arrow buttons' picture: a black filled triangle on yellow, its base along the whole edge
// opposite its tip. Drawn at the size it is shown, so it stays crisp on high-dpi screens.
QIcon arrowIcon(Arrow direction);

// 17 by 9 for up and down, 9 by 17 for left and right (device-independent pixels).
QSize arrowIconSize(Arrow direction);

}  // namespace zelt
