#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "services/alerts/rules/tray_summary.h"

class QWidget;

namespace tev::alerts {

// Where the tray icon is shown; a fake in the tests records what it was given.
class TrayView {
  public:
    virtual ~TrayView() = default;
    virtual void setState(TrayState state) = 0;
    virtual void setToolTip(const QString& text) = 0;
    virtual void setMenu(QMenu* menu) = 0;
};

// The desktop's system tray through QSystemTrayIcon, with icons drawn for the three states.
class QtTrayView final : public TrayView {
  public:
    QtTrayView();
    void setState(TrayState state) override;
    void setToolTip(const QString& text) override;
    void setMenu(QMenu* menu) override;
    static bool available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

  private:
    QSystemTrayIcon icon_;
    TrayState state_ = TrayState::Off;
    bool first_ = true;
};

// The tray menu and what the icon shows. Closing the window still ends the program as it
// always has; "Hide window" only hides it, and that choice is kept in tev3p.ini ([tray]
// hidden) so the next start begins in the tray too.
class TrayController final : public QObject {
  public:
    using SnapshotSource = std::function<TraySnapshot()>;
    static constexpr int kRefreshMs = 1000;

    TrayController(TrayView& view, QWidget& window, SnapshotSource snapshot, QString iniPath,
                   std::function<void()> quit);

    // Whether the window should start hidden, as last chosen in the tray menu: hidden= of the
    // keys of the [tray] group of tev3p.ini.
    static bool startHidden(const std::map<std::string, std::string>& tray);

    // Where a failure to keep the tray's choice in tev3p.ini is told (the event log).
    void setLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

    // The web dashboard entry appears once an address is set (empty: hidden).
    void setDashboardUrl(const QString& url);
    void refresh();
    void toggleWindow();

    TrayState state() const { return state_; }
    QMenu& menu() { return menu_; }
    QAction* showHideAction() const { return showHide_; }
    QAction* dashboardAction() const { return dashboard_; }
    QAction* quitAction() const { return quit_; }

  private:
    TrayView& view_;
    QWidget& window_;
    SnapshotSource snapshot_;
    QString iniPath_;
    QString dashboardUrl_;
    QMenu menu_;
    QAction* showHide_ = nullptr;
    QAction* dashboard_ = nullptr;
    QAction* quit_ = nullptr;
    QTimer timer_;
    TrayState state_ = TrayState::Off;
    bool first_ = true;
    std::function<void(const std::string&)> log_;

    void updateShowHideText();
    void rememberHidden(bool hidden);
};

}  // namespace tev::alerts
