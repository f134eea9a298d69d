#include "services/alerts/notify/tray_icon.h"

#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QUrl>
#include <QWidget>
#include <span>

#include "core/persistence/atomic_file.h"
#include "core/settings/ini_document.h"

namespace tev::alerts {

namespace {

constexpr int kIconSize = 32;

QIcon iconFor(TrayState state) {
    QColor fill;
    switch (state) {
        case TrayState::Normal:
            fill = QColor(0x22, 0x88, 0x55);
            break;
        case TrayState::Alert:
            fill = QColor(0xdd, 0x22, 0x22);
            break;
        case TrayState::Off:
            fill = QColor(0x88, 0x88, 0x88);
            break;
    }
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(fill);
    p.setPen(QPen(Qt::white, 2));
    p.drawEllipse(2, 2, kIconSize - 4, kIconSize - 4);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(kIconSize / 2);
    p.setFont(font);
    p.drawText(pixmap.rect(), Qt::AlignCenter, state == TrayState::Alert ? "!" : "3P");
    p.end();
    return QIcon(pixmap);
}

}  // namespace

QtTrayView::QtTrayView() {
    icon_.setIcon(iconFor(state_));
    icon_.show();
}

void QtTrayView::setState(TrayState state) {
    if (state == state_ && !first_) return;
    first_ = false;
    state_ = state;
    icon_.setIcon(iconFor(state));
}

void QtTrayView::setToolTip(const QString& text) {
    if (icon_.toolTip() != text) icon_.setToolTip(text);
}

void QtTrayView::setMenu(QMenu* menu) {
    icon_.setContextMenu(menu);
}

TrayController::TrayController(TrayView& view, QWidget& window, SnapshotSource snapshot,
                               QString iniPath, std::function<void()> quit)
    : view_(view), window_(window), snapshot_(std::move(snapshot)), iniPath_(std::move(iniPath)) {
    showHide_ = menu_.addAction("Hide window");
    connect(showHide_, &QAction::triggered, this, [this] { toggleWindow(); });
    dashboard_ = menu_.addAction("Open web dashboard");
    dashboard_->setVisible(false);
    connect(dashboard_, &QAction::triggered, this,
            [this] { QDesktopServices::openUrl(QUrl(dashboardUrl_)); });
    menu_.addSeparator();
    quit_ = menu_.addAction("Quit");
    connect(quit_, &QAction::triggered, this, [quit = std::move(quit)] { quit(); });
    connect(&menu_, &QMenu::aboutToShow, this, [this] { updateShowHideText(); });
    view_.setMenu(&menu_);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
    timer_.start();
    refresh();
}

bool TrayController::startHidden(const std::map<std::string, std::string>& tray) {
    const auto hidden = tray.find("hidden");
    if (hidden == tray.end()) return false;
    std::string v = hidden->second;
    for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return !v.empty() && v != "0" && v != "false";
}

void TrayController::setDashboardUrl(const QString& url) {
    dashboardUrl_ = url;
    dashboard_->setVisible(!url.isEmpty());
}

void TrayController::refresh() {
    const TraySnapshot s = snapshot_();
    const TrayState state = trayStateFor(s);
    if (state != state_ || first_) view_.setState(state);
    first_ = false;
    state_ = state;
    view_.setToolTip(QString::fromStdString(trayToolTip(s)));
    updateShowHideText();
}

void TrayController::toggleWindow() {
    const bool hide = window_.isVisible();
    if (hide) {
        window_.hide();
    } else {
        window_.show();
        window_.raise();
        window_.activateWindow();
    }
    rememberHidden(hide);
    updateShowHideText();
}

void TrayController::rememberHidden(bool hidden) {
    // One line of tev3p.ini changes; the user's comments and layout stay as they wrote them.
    std::string text;
    QFile file(iniPath_);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            if (log_)
                log_("The tray's choice was not kept: " + iniPath_.toStdString() +
                     " cannot be read (" + file.errorString().toStdString() + ")");
            return;
        }
        text = file.readAll().toStdString();
    }
    const std::string updated = withIniValue(text, "tray", "hidden", hidden ? "true" : "false");
    if (updated == text) return;
    const std::string error = writeFileAtomically(
        iniPath_.toStdString(),
        std::span(reinterpret_cast<const std::uint8_t*>(updated.data()), updated.size()));
    if (!error.empty() && log_)
        log_("The tray's choice was not kept: " + iniPath_.toStdString() + ": " + error);
}

void TrayController::updateShowHideText() {
    showHide_->setText(window_.isVisible() ? "Hide window" : "Show window");
}

}  // namespace tev::alerts
