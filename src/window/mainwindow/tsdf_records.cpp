// The main window's way into the records manager.

#include <QWidget>

#include "window/mainwindow/tsdf.h"

namespace tev {

// Menu "Record 記錄管理": the records window, created hidden at start-up, comes to the front.
void Tsdf::OutputDataClick() {
    QWidget* record = windows_.Record;
    if (record == nullptr) return;
    record->show();
    record->raise();
    record->activateWindow();
}

}  // namespace tev
