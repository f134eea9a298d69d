#include "services/alerts/notify/tray_icon.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "core/settings/ini_document.h"
#include "tests/support/qt_application.h"

namespace tev::alerts {
namespace {

// What the next start would read of the tray's choice from the file as it now stands.
bool startsHidden(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = f.readAll();
    return TrayController::startHidden(
        IniDocument::parse(std::string_view(bytes.constData(), bytes.size())).values("tray"));
}

struct FakeTrayView final : TrayView {
    void setState(TrayState state) override { states.push_back(state); }
    void setToolTip(const QString& text) override { toolTip = text; }
    void setMenu(QMenu* m) override { menu = m; }
    std::vector<TrayState> states;
    QString toolTip;
    QMenu* menu = nullptr;
};

TEST(TrayIcon, TheIconFollowsLinkMetersAndAlertsAndIsSetOnlyWhenItChanges) {
    testing::qtApplication();
    QTemporaryDir dir;
    FakeTrayView view;
    QWidget window;
    TraySnapshot snap;
    int quits = 0;
    TrayController tray(
        view, window, [&] { return snap; }, dir.filePath("tev3p.ini"), [&] { ++quits; });
    ASSERT_EQ(view.states, std::vector<TrayState>{TrayState::Off});
    EXPECT_EQ(view.toolTip, "TEV3P: 0 W, today 0.00 kWh\nMeter link off");
    EXPECT_EQ(view.menu, &tray.menu());

    snap = TraySnapshot{true, 1, false, 1234.4, 5.678, 1.7, "\xE2\x82\xAC"};
    tray.refresh();
    tray.refresh();
    snap.anyAlert = true;
    tray.refresh();
    snap.meterCount = 0;  // the off-line alarm forgot the meters
    tray.refresh();
    EXPECT_EQ(view.states, (std::vector<TrayState>{TrayState::Off, TrayState::Normal,
                                                   TrayState::Alert, TrayState::Off}));
    EXPECT_EQ(view.toolTip, QString::fromUtf8("TEV3P: 1234 W, today 5.68 kWh, \xE2\x82\xAC 1.70"
                                              "\nNo meter"));
    tray.quitAction()->trigger();
    EXPECT_EQ(quits, 1);
}

// A tev3p.ini as a user writes it: comments, a currency sign, a list with a comma.
constexpr const char* kHandWritten =
    "; my switchboard\n[alerts]\ncurrent_max=16  ; the main breaker\n\n"
    "[tariff]\ncurrency=\xE2\x82\xAC\n# night rate\nband_1=mon-fri 07:00-22:00 0.40\n"
    "[meters]\nallow=HOQ00000000A,HOQ00000000B\n";

TEST(TrayIcon, HidingTheWindowIsAMenuChoiceKeptInTheIniFileAndTheDashboardEntryWaitsForAnAddress) {
    testing::qtApplication();
    QTemporaryDir dir;
    const QString ini = dir.filePath("tev3p.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kHandWritten);
    }
    FakeTrayView view;
    QWidget window;
    window.show();
    TrayController tray(
        view, window, [] { return TraySnapshot{}; }, ini, [] {});
    EXPECT_FALSE(startsHidden(ini));
    EXPECT_EQ(tray.showHideAction()->text(), "Hide window");
    tray.showHideAction()->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(tray.showHideAction()->text(), "Show window");
    EXPECT_TRUE(startsHidden(ini));
    tray.showHideAction()->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(startsHidden(ini));
    {
        // Only the tray's line is the program's: the user's lines stay byte for byte.
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().toStdString(),
                  std::string(kHandWritten) + "\n[tray]\nhidden=false\n");
    }
    EXPECT_FALSE(tray.dashboardAction()->isVisible());
    tray.setDashboardUrl("http://127.0.0.1:8080/");
    EXPECT_TRUE(tray.dashboardAction()->isVisible());
}

TEST(TraySummary, ToolTipWithoutATariffHasNoCost) {
    TraySnapshot s{true, 2, false, 99.5, 0.004, std::nullopt, "\xE2\x82\xAC"};
    EXPECT_EQ(trayToolTip(s), "TEV3P: 100 W, today 0.00 kWh");
    EXPECT_EQ(trayStateFor(s), TrayState::Normal);
}

}  // namespace
}  // namespace tev::alerts
