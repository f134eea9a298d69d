// The Help menu: the user manual and the about windows.

#include <QCoreApplication>

#include "window/mainwindow/manual_viewer.h"
#include "window/mainwindow/tsdf.h"
#include "window/mainwindow/user_manual.h"

namespace tev {

namespace {

constexpr int kAboutToneHz = 1600;
constexpr int kAboutToneMs = 150;

void bringUp(QWidget* window) {
    // A window left minimised is restored, so that choosing the command again always shows it.
    if (window->isVisible() && window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
}

}  // namespace

// Opens the user manual shipped with the program in the desktop's browser. Without a browser
// (or without the manual) the manual window shows it, so the command never does nothing.
void Tsdf::Manual_bClick() {
    const std::string manual = findUserManual(QCoreApplication::applicationDirPath().toStdString());
    if (!manual.empty() && seams_.urls != nullptr && seams_.urls->open(fileUrl(manual))) return;
    QWidget* window = windows_.menu;
    if (window == nullptr) return;
    if (auto* viewer = dynamic_cast<ManualViewer*>(window)) {
        viewer->showManual(manual);
    } else {
        bringUp(window);
    }
}

// English mode shows the English about window, bilingual mode the bilingual one; Chinese-only
// mode has no about window of its own.
void Tsdf::About_bClick() {
    beep(kAboutToneHz, kAboutToneMs);
    QWidget* window = nullptr;
    if (languageMode_ == LanguageMode::English) window = windows_.About2;
    if (languageMode_ == LanguageMode::Bilingual) window = windows_.About;
    if (window != nullptr) bringUp(window);
}

}  // namespace tev
