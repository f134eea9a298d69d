#include "core/chart/selection.h"

#include <gtest/gtest.h>

#include <memory>

namespace tev {
namespace {

// ViewState carries the large display buffers; keep it off the test's stack.
std::unique_ptr<ViewState> viewWithClickAt(int x, int y) {
    auto view = std::make_unique<ViewState>();
    view->lastClickX = x;
    view->lastClickY = y;
    return view;
}

TEST(QuantitySelection, PressPositionPicksTheChannelAndTheStripBetweenPanelsPicksNone) {
    EXPECT_EQ(quantityTargetChannel(257, 0), 1);
    EXPECT_EQ(quantityTargetChannel(600, 269), 1);
    EXPECT_EQ(quantityTargetChannel(600, 270), 0);
    EXPECT_EQ(quantityTargetChannel(600, 275), 0);
    EXPECT_EQ(quantityTargetChannel(600, 280), 0);
    EXPECT_EQ(quantityTargetChannel(600, 281), 2);
    EXPECT_EQ(quantityTargetChannel(600, 597), 2);
    EXPECT_EQ(quantityTargetChannel(600, 598), 0);
    EXPECT_EQ(quantityTargetChannel(256, 100), 0);
    EXPECT_EQ(quantityTargetChannel(256, 400), 0);
}

TEST(QuantitySelection, ChoiceInTheStripChangesNothingAndStaysSilent) {
    auto view = viewWithClickAt(600, 275);
    view->channel(1).title = "old";
    const SelectionOutcome outcome =
        chooseQuantity(*view, LanguageMode::Bilingual, quantityItem(Quantity::V1));
    EXPECT_EQ(outcome, SelectionOutcome{});
    EXPECT_EQ(view->channel(1).quantity, Quantity::None);
    EXPECT_EQ(view->channel(1).title, "old");
    EXPECT_EQ(view->channel(2).quantity, Quantity::None);
}

TEST(QuantitySelection, TitleFollowsTheLanguageModeAndChineseModeKeepsTheOldTitle) {
    auto view = viewWithClickAt(400, 100);
    chooseQuantity(*view, LanguageMode::English, quantityItem(Quantity::Amp));
    EXPECT_EQ(view->channel(1).title, "AMP 3P");

    view->lastClickY = 300;
    chooseQuantity(*view, LanguageMode::Bilingual, quantityItem(Quantity::V2));
    EXPECT_EQ(view->channel(2).title, "V2 AC 電壓");
    EXPECT_EQ(view->channel(2).quantity, Quantity::V2);

    const SelectionOutcome outcome =
        chooseQuantity(*view, LanguageMode::Chinese, quantityItem(Quantity::Watt));
    EXPECT_EQ(view->channel(2).quantity, Quantity::Watt);
    EXPECT_EQ(view->channel(2).title, "V2 AC 電壓");
    EXPECT_TRUE(outcome.repaint);
    EXPECT_FALSE(outcome.toneBeforeRepaint);
    EXPECT_EQ(outcome.tone, kQuantityChosenTone);
    EXPECT_EQ(view->channel(1).quantity, Quantity::Amp);
}

TEST(QuantitySelection, NoneSetsNoneInEveryModeWithoutTouchingScaleSpanOrCursor) {
    for (LanguageMode mode :
         {LanguageMode::English, LanguageMode::Chinese, LanguageMode::Bilingual}) {
        auto view = viewWithClickAt(900, 590);
        ChartChannel& ch2 = view->channel(2);
        ch2.quantity = Quantity::K2;
        ch2.title = "L2 KWh";
        ch2.timeScale = TimeScale::Day;
        ch2.span = 7;
        ch2.cursorOn = true;
        ch2.cursorX = 500;
        view->syncChannels = true;
        chooseQuantity(*view, mode, quantityItem(Quantity::None));
        EXPECT_EQ(ch2.quantity, Quantity::None);
        EXPECT_EQ(ch2.title, "None");
        EXPECT_EQ(ch2.timeScale, TimeScale::Day);
        EXPECT_EQ(ch2.span, 7);
        EXPECT_TRUE(ch2.cursorOn);
        EXPECT_EQ(ch2.cursorX, 500);
        EXPECT_EQ(view->channel(1).quantity, Quantity::None);
        EXPECT_EQ(view->channel(1).title, "");
    }
}

TEST(QuantitySelection, PopupItemsListEveryQuantityOnceInMenuOrder) {
    const auto& items = quantityItems();
    for (int i = 0; i < kQuantityItemCount; ++i) {
        EXPECT_EQ(static_cast<int>(items[i].quantity), i);
    }
    EXPECT_EQ(items[8].name, "Watt_b");
    EXPECT_EQ(items[8].englishCaption, "Watts 3P");
    EXPECT_EQ(items[12].formCaption, "kWh 總電量");
    EXPECT_EQ(separatorBefore(Quantity::Watt), "N6");
    EXPECT_EQ(separatorBefore(Quantity::KWh), "N5");
    EXPECT_FALSE(separatorBefore(Quantity::A1).has_value());
}

TEST(TimeScaleSelection, LabelClickBeepsFirstLoadsTheRememberedSpanAndRecoloursOneChannel) {
    auto view = viewWithClickAt(0, 0);
    view->channel(1).spanPerScale = {300, 60, 40, 12, 30, 31, 32};
    view->channel(2).timeScale = TimeScale::Month;
    const SelectionOutcome outcome = chooseTimeScale(*view, 1, TimeScale::M10);
    EXPECT_EQ(view->channel(1).timeScale, TimeScale::M10);
    EXPECT_EQ(view->channel(1).span, 40);
    EXPECT_EQ(view->channel(2).timeScale, TimeScale::Month);
    EXPECT_EQ(outcome.tone, kScaleChosenTone);
    EXPECT_TRUE(outcome.toneBeforeRepaint);
    EXPECT_TRUE(outcome.repaint);
    EXPECT_EQ(outcome.recolourScaleLabels, (std::array<bool, 2>{true, false}));
    EXPECT_EQ(scaleLabelColour(view->channel(1), TimeScale::M10), kChosenScaleColour);
    EXPECT_EQ(scaleLabelColour(view->channel(1), TimeScale::Hour), kOtherScaleColour);
}

TEST(TimeScaleSelection, SyncedClickGivesEachChannelItsOwnRememberedSpan) {
    auto view = viewWithClickAt(0, 0);
    view->syncChannels = true;
    view->channel(1).spanPerScale[scaleIndex(TimeScale::M5)] = 70;
    view->channel(2).spanPerScale[scaleIndex(TimeScale::M5)] = 90;
    const SelectionOutcome outcome = chooseTimeScale(*view, 2, TimeScale::M5);
    EXPECT_EQ(view->channel(1).timeScale, TimeScale::M5);
    EXPECT_EQ(view->channel(2).timeScale, TimeScale::M5);
    EXPECT_EQ(view->channel(1).span, 70);
    EXPECT_EQ(view->channel(2).span, 90);
    EXPECT_EQ(outcome.recolourScaleLabels, (std::array<bool, 2>{true, true}));
}

TEST(TimeScaleSelection, ClickingTheShownScaleStillBeepsAndUndoesThePaintClamp) {
    auto view = viewWithClickAt(0, 0);
    ChartChannel& ch1 = view->channel(1);
    ch1.spanPerScale[scaleIndex(TimeScale::Hour)] = 48;
    ch1.span = 3;  // clamped by a paint of a short table
    const SelectionOutcome outcome = chooseTimeScale(*view, 1, TimeScale::Hour);
    EXPECT_EQ(ch1.span, 48);
    EXPECT_EQ(outcome.tone, kScaleChosenTone);
    EXPECT_TRUE(outcome.repaint);
}

TEST(TimeScaleSelection, OutOfRangeScaleOrChannelChangesNothing) {
    auto view = viewWithClickAt(0, 0);
    view->channel(1).span = 5;
    EXPECT_EQ(chooseTimeScale(*view, 1, static_cast<TimeScale>(0)), SelectionOutcome{});
    EXPECT_EQ(chooseTimeScale(*view, 1, static_cast<TimeScale>(8)), SelectionOutcome{});
    EXPECT_EQ(chooseTimeScale(*view, 1, static_cast<TimeScale>(-3)), SelectionOutcome{});
    EXPECT_EQ(chooseTimeScale(*view, 3, TimeScale::Day), SelectionOutcome{});
    EXPECT_EQ(view->channel(1).timeScale, TimeScale::Hour);
    EXPECT_EQ(view->channel(1).span, 5);
}

TEST(SyncButton, TogglesWithHighToneOnLowToneOffAndNeverRepaints) {
    auto view = viewWithClickAt(0, 0);
    view->channel(1).timeScale = TimeScale::Min;
    SelectionOutcome on = toggleSync(*view);
    EXPECT_TRUE(view->syncChannels);
    EXPECT_EQ(on.tone, kSyncOnTone);
    EXPECT_EQ(on.syncCaptionColour, kSyncOnColour);
    EXPECT_FALSE(on.repaint);
    EXPECT_EQ(view->channel(2).timeScale, TimeScale::Hour);

    SelectionOutcome off = toggleSync(*view);
    EXPECT_FALSE(view->syncChannels);
    EXPECT_EQ(off.tone, kSyncOffTone);
    EXPECT_EQ(off.syncCaptionColour, kSyncOffColour);
    EXPECT_FALSE(off.repaint);
}

}  // namespace
}  // namespace tev
