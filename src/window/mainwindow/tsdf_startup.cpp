// The main window's creation and close handlers, the placement of the window, and the hourly
// save that bounds what a power cut can cost.

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "core/persistence/file_messages.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/tsdf.h"

namespace tev {

namespace {

// The part of the window that must lie on a screen for the user to reach it: its title bar
// region at the top left.
constexpr int kReachableWidth = 120;
constexpr int kReachableHeight = 30;

}  // namespace

void Tsdf::FormCreate() {
    linkFlag_ = 1;
    menu_.link_b->setChecked(true);
    languageMode_ = LanguageMode::Bilingual;
    store_.registry.MeterCount = 0;
    startUpClock();

    LoadEnviorClick();
    LoadRecords_bClick();

    const Calendar& cal = store_.calendar;
    if (languageMode_ != LanguageMode::Chinese)
        controls_.Date_lb->setText(
            QString::fromStdString(dateLabelText(cal.Year, cal.Month, cal.Day, languageMode_)));
    if (auto line = pickText(languageMode_, filetext::kStartupEnglish, filetext::kStartupBilingual))
        log_.append(startupStamp(seams_.clock->now()) + *line);

    placeWindow(view_.windowLeft, view_.windowTop);
    const DateTime now = seams_.clock->now();
    lastAutosaveHour_ = static_cast<std::int64_t>(dateCode(now)) * 100 + now.hour;
}

// Moves the window to the stored position, unless that would leave it where no screen shows
// it (a settings file from another monitor set-up, or a damaged one): then it opens where it
// opens on a first run.
void Tsdf::placeWindow(int left, int top) {
    const QRect reachable(left, top, kReachableWidth, kReachableHeight);
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().intersects(reachable)) onScreen = true;
    if (!onScreen) {
        left = kInitialLeft;
        top = kInitialTop;
    }
    move(left, top);
    view_.windowLeft = left;
    view_.windowTop = top;
}

void Tsdf::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void Tsdf::FormClose() {
    if (shutDown_) return;
    shutDown_ = true;
    timer1_->stop();
    saveSettingsFile(SaveReport::Shutdown);
    if (seams_.pause != nullptr) seams_.pause->pause(1000);
    saveRecordsFile(SaveReport::Shutdown);
    if (seams_.pause != nullptr) seams_.pause->pause(1000);
}

void Tsdf::autosave() {
    if (shutDown_) return;
    const DateTime now = seams_.clock->now();
    const std::int64_t hour = static_cast<std::int64_t>(dateCode(now)) * 100 + now.hour;
    if (hour == lastAutosaveHour_) return;
    lastAutosaveHour_ = hour;
    saveSettingsFile(SaveReport::Silent);
    saveRecordsFile(SaveReport::Silent);
}

void Tsdf::commitData() {
    if (shutDown_) return;
    saveSettingsFile(SaveReport::Silent);
    saveRecordsFile(SaveReport::Silent);
}

std::string Tsdf::stamp() const {
    return logStamp(seams_.clock->now());
}

void Tsdf::reportFailure(const std::string& logLine, const std::string& message) {
    log_.append(logLine);
    if (seams_.messages != nullptr) seams_.messages->warn("TEV3P", message);
}

}  // namespace tev
