#include <QAction>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "window/mainwindow/event_log_memo.h"

namespace tev::testing {
namespace {

class TsdfMaintenanceTest : public TsdfTest {
  protected:
    void SetUp() override {
        TsdfTest::SetUp();
        sdf->show();
    }
    const SdfControls& k() const { return sdf->controls(); }
    float& total() { return sdf->store().live.TotalKWh; }
    bool editorShown() const {
        return k().e1->isVisible() && k().b_set->isVisible() && k().b_clr->isVisible();
    }
    bool editorHidden() const {
        return !k().e1->isVisible() && !k().b_set->isVisible() && !k().b_clr->isVisible();
    }
    void openEditor() { sdf->mainMenu().TSet->trigger(); }
    void type(const QString& text) {
        k().e1->clear();
        QTest::keyClicks(k().e1, text);
    }
    // A store with some history: rows, readings and accounts.
    void fillStore() {
        MeasurementStore& s = sdf->store();
        for (int i = 0; i < kScaleCount; ++i) {
            ScaleTable& t = s.tableAt(i);
            t.cnt = 5 + i;
            for (int row = 0; row <= t.cnt; ++row)
                for (int c = 0; c < kQuantityCount; ++c) t.setValue(c, row, 1.0f + row + c);
            t.setDate(0, 240801);
        }
        LiveReadings& l = s.live;
        l.V1 = 231;
        l.SmoothV1 = l.SmoothW3 = l.SmoothAmp = 5;
        l.KWh = l.K1 = 2;
        l.WeekKWh = l.WeekK3 = 3;
        l.MonthKWh = l.MonthK2 = 4;
        l.TotalKWh = 1234.5f;
        l.AvgAmpKWh = 7;
        s.calendar.WeekDayCnt = 3;
        s.calendar.NowMonth = 8;
    }
};

TEST_F(TsdfMaintenanceTest, EditorControlsSitAtTheirPlacesInTheirFonts) {
    EXPECT_TRUE(editorHidden());
    EXPECT_EQ(k().e1->geometry(), QRect(62, 731, 81, 22));
    EXPECT_EQ(k().e1->font().pixelSize(), 15);
    EXPECT_EQ(k().e1->font().family(), "Arial");
    EXPECT_EQ(k().b_set->geometry(), QRect(145, 732, 28, 22));
    EXPECT_EQ(k().b_set->text(), "SET");
    EXPECT_TRUE(k().b_set->font().bold());
    EXPECT_EQ(k().b_set->font().pixelSize(), 11);
    EXPECT_EQ(textColour(k().b_set), QColor(128, 0, 128));
    EXPECT_EQ(k().b_clr->geometry(), QRect(174, 732, 28, 22));
    EXPECT_EQ(k().b_clr->text(), "CLR");
    EXPECT_EQ(textColour(k().b_clr), QColor(0, 0, 255));
    EXPECT_FALSE(sdf->mainMenu().N220V->isEnabled());
    EXPECT_FALSE(sdf->mainMenu().N380V->isEnabled());
}

TEST_F(TsdfMaintenanceTest, SetWithoutEditingStoresTheOneDecimalTotal) {
    total() = 1234.56f;
    openEditor();
    EXPECT_TRUE(editorShown());
    EXPECT_EQ(k().e1->text(), "1234.6");
    QTest::mouseClick(k().b_set, Qt::LeftButton);
    EXPECT_TRUE(editorHidden());
    EXPECT_EQ(total(), 1234.6f);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
}

TEST_F(TsdfMaintenanceTest, TSetWhileOpenKeepsTheTextBeingTyped) {
    openEditor();
    type("77");
    openEditor();
    EXPECT_EQ(k().e1->text(), "77");
    QTest::keyClick(k().e1, Qt::Key_Return);
    EXPECT_EQ(total(), 77.0f);
    EXPECT_TRUE(editorHidden());
}

TEST_F(TsdfMaintenanceTest, CommandsCalledBeforeTheWindowIsShownKeepTheTypedText) {
    sdf->hide();
    sdf->TSetClick();
    k().e1->setText("5");
    sdf->TSetClick();
    EXPECT_EQ(k().e1->text(), "5");
    sdf->b_setClick();
    EXPECT_EQ(total(), 5.0f);
    EXPECT_TRUE(k().e1->isHidden());
}

TEST_F(TsdfMaintenanceTest, EmptySetClosesAndKeepsTheTotalButEmptyEnterStaysOpen) {
    total() = 10.0f;
    openEditor();
    type("");
    QTest::keyClick(k().e1, Qt::Key_Enter);
    EXPECT_TRUE(editorShown());
    EXPECT_TRUE(tones.tones.empty());
    QTest::mouseClick(k().b_set, Qt::LeftButton);
    EXPECT_TRUE(editorHidden());
    EXPECT_EQ(total(), 10.0f);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
}

TEST_F(TsdfMaintenanceTest, EnterTakesTheValueAndEscCancelsSilently) {
    total() = 10.0f;
    openEditor();
    type("250.5");
    QTest::keyClick(k().e1, Qt::Key_Escape);
    EXPECT_TRUE(editorHidden());
    EXPECT_EQ(total(), 10.0f);
    EXPECT_TRUE(tones.tones.empty());

    openEditor();
    EXPECT_EQ(k().e1->text(), "10.0");
    type("250.5");
    QTest::keyClick(k().e1, Qt::Key_Return);
    EXPECT_TRUE(editorHidden());
    EXPECT_EQ(total(), 250.5f);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
}

TEST_F(TsdfMaintenanceTest, ClrSetsTheTotalToZero) {
    total() = 99.0f;
    openEditor();
    QTest::mouseClick(k().b_clr, Qt::LeftButton);
    EXPECT_TRUE(editorHidden());
    EXPECT_EQ(total(), 0.0f);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1600, 200}}));
}

TEST_F(TsdfMaintenanceTest, ATotalThatIsNoNumberIsReportedAndChangesNothing) {
    total() = 42.0f;
    openEditor();
    type("12,5");
    QTest::keyClick(k().e1, Qt::Key_Return);
    EXPECT_TRUE(editorShown());  // Enter keeps the editor open for a correction
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, "warn");
    EXPECT_EQ(messages.shown[0].text, "'12,5' is not a valid number");

    type("abc");
    QTest::mouseClick(k().b_set, Qt::LeftButton);
    EXPECT_TRUE(editorHidden());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "'abc' is not a valid number");
    EXPECT_EQ(total(), 42.0f);
    EXPECT_TRUE(tones.tones.empty());
}

TEST_F(TsdfMaintenanceTest, EnglishResetAnsweredYesEmptiesTheStoreAndLeavesThreeLogLines) {
    fillStore();
    sdf->EnglishClick();
    sdf->eventLog().append("older line");
    const int repaints = sdf->repaintRequestCount();
    sdf->mainMenu().ResetAll->trigger();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, "ask");
    EXPECT_EQ(messages.shown[0].title, "TEV3P Power Monitor Manager");
    EXPECT_EQ(messages.shown[0].text, "Confirm Reset All Recorded Data ? ");
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1400, 1000}}));
    EXPECT_EQ(sdf->repaintRequestCount(), repaints + 1);

    const MeasurementStore& s = sdf->store();
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleTable& t = s.tableAt(i);
        EXPECT_EQ(t.cnt, 0);
        for (int c = 0; c < kQuantityCount; ++c) EXPECT_EQ(t.value(c, 0), 0.0f);
        EXPECT_EQ(t.date(0), 240801);    // row 0's date stays
        EXPECT_EQ(t.value(0, 1), 2.0f);  // later rows stay
    }
    const LiveReadings& l = s.live;
    EXPECT_EQ(l.SmoothV1, 0.0f);
    EXPECT_EQ(l.SmoothW3, 0.0f);
    EXPECT_EQ(l.SmoothAmp, 0.0f);
    EXPECT_EQ(l.KWh, 0.0f);
    EXPECT_EQ(l.K1, 0.0f);
    EXPECT_EQ(l.WeekK3, 0.0f);
    EXPECT_EQ(l.MonthK2, 0.0f);
    EXPECT_EQ(l.TotalKWh, 0.0f);
    EXPECT_EQ(l.V1, 231.0f);       // the raw reading stays
    EXPECT_EQ(l.AvgAmpKWh, 7.0f);  // so do the day averages
    EXPECT_EQ(s.calendar.WeekDayCnt, 3);
    EXPECT_EQ(s.calendar.NowMonth, 8);

    const std::deque<std::string> expected = {
        "", "240802 8:5 > Delete All Records, Reset to Orginal OK !", ""};
    EXPECT_EQ(sdf->eventLog().lines(), expected);
    EXPECT_EQ(k().m1->toPlainText().toStdString(),
              "\n240802 8:5 > Delete All Records, Reset to Orginal OK !\n");
}

TEST_F(TsdfMaintenanceTest, BilingualResetAsksInBothLanguagesAndNoKeepsEverything) {
    fillStore();
    messages.yes = false;
    sdf->ResetAllClick();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "TEV3P 電力監控器 資料管理");
    EXPECT_EQ(messages.shown[0].text, "Reset All Data 確定刪除全部資料 還原初始狀態 ? ");
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(sdf->store().table(TimeScale::Min).cnt, 5);
    EXPECT_EQ(sdf->store().live.TotalKWh, 1234.5f);

    messages.yes = true;
    sdf->ResetAllClick();
    EXPECT_EQ(sdf->eventLog().lines().at(1),
              "240802 8:5 > Delete All Records 刪除全部記錄 還原初始狀態 OK !");
    EXPECT_EQ(sdf->store().table(TimeScale::Min).cnt, 0);
}

TEST_F(TsdfMaintenanceTest, ResetInChineseOnlyModeDoesNothing) {
    fillStore();
    sdf->TaiwanClick();
    const auto lines = sdf->eventLog().lines();
    sdf->ResetAllClick();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_EQ(sdf->store().table(TimeScale::Month).cnt, 11);
    EXPECT_EQ(sdf->eventLog().lines(), lines);
}

TEST_F(TsdfMaintenanceTest, HiddenDataResetRunsAlone) {
    fillStore();
    const std::size_t logLines = sdf->eventLog().lines().size();
    sdf->ResetAll_bClick();
    EXPECT_EQ(sdf->store().table(TimeScale::Week).cnt, 0);
    EXPECT_TRUE(tones.tones.empty());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(sdf->eventLog().lines().size(), logLines);
}

TEST_F(TsdfMaintenanceTest, CopyPutsOnlyTheAddressOnTheClipboardAfterItsTone) {
    QTest::mouseClick(k().copy_b, Qt::LeftButton);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1700, 150}}));
    EXPECT_EQ(clipboard.text, sdf->computerIp());
    ASSERT_FALSE(sdf->computerIp().empty());  // the listening socket has reported it
    EXPECT_EQ(k().ip_l->text().toStdString(), "IP " + clipboard.text);
}

TEST_F(TsdfMaintenanceTest, WeekdayTesterNamesTheDayOfTheTypedDate) {
    k().e2->setText(QLocale::system().toString(QDate(2024, 8, 2), QLocale::ShortFormat));
    sdf->SpeedButton1Click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "5  Friday");
    k().e2->setText("tomorrow");
    sdf->SpeedButton1Click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "'tomorrow' is not a valid date");
}

}  // namespace
}  // namespace tev::testing
