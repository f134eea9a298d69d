#pragma once

#include <QIcon>

namespace tev {

// The program's icon (the one the desktop entry names), drawn from the picture compiled into
// the program at the sizes window managers and task bars ask for. Set as the application's
// icon, every window and message box carries it.
QIcon programIcon();

}  // namespace tev
