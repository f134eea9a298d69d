#include "core/chart/readings_panel.h"

#include <array>
#include <limits>
#include <string>
#include <string_view>

#include "core/chart/chart_colours.h"
#include "core/texts/number_text.h"

namespace tev {

namespace {

constexpr double kBelowAll = -std::numeric_limits<double>::infinity();
constexpr double kKilowattsPerWatt = 0.001;

constexpr int kFrameLeft = 3, kFrameTop = 28, kFrameRight = 250, kFrameBottom = 773;
constexpr int kLabelX = 10;
constexpr int kEnglishLabelSize = 10, kBilingualLabelSize = 9;
constexpr int kSeparatorLeft = 8, kSeparatorRight = 242;
constexpr std::array<int, 5> kSeparatorYs = {140, 260, 380, 500, 635};

struct RowLabel {
    std::string_view english;
    std::string_view bilingual;
    int englishY;
    int bilingualY;
};

constexpr std::array<RowLabel, 18> kRowLabels = {{
    {"VAC1", "V1 電壓", 40, 40},
    {"VAC2", "V2 電壓", 75, 75},
    {"VAC3", "V3 電壓", 110, 110},
    {"L1 Amp", "L1 電流", 160, 160},
    {"L2 Amp", "L2 電流", 195, 195},
    {"L3 Amp", "L3 電流", 230, 230},
    {"W1 Watt", "W1 功率", 280, 280},
    {"W2 Watt", "W2 功率", 315, 315},
    {"W3 Watt", "W3 功率", 350, 350},
    {"K1 KWh", "K1 電量", 400, 400},
    {"K2 KWh", "K2 電量", 435, 435},
    {"K3 KWh", "K3 電量", 470, 470},
    {"Amp 3P", "Amp 總電流", 525, 525},
    {"Watt 3P", "Watt 總功率", 565, 565},
    {"Today KWh", "Today 本日", 605, 605},
    {"Week  KWh", "Week  本週", 655, 660},
    {"Month KWh", "Month 本月", 695, 700},
    {"TTL KWh", "TTL 統計", 735, 738},
}};

constexpr Rgb kVoltColour{255, 0, 0};
constexpr Rgb kCurrentColour{255, 140, 0};
constexpr Rgb kPowerColour{255, 0, 204};
constexpr Rgb kEnergyColour{0, 204, 204};
constexpr Rgb kTotalCurrentUnitColour{255, 204, 0};
constexpr Rgb kWeekColour{153, 102, 153};
constexpr Rgb kMonthColour{102, 204, 153};
constexpr Rgb kTotalEnergyColour{0, 102, 204};

struct UnitText {
    std::string_view text;
    int x, y, size;
    Rgb colour;
};

constexpr std::array<UnitText, 18> kUnitTexts = {{
    {"VAC", 210, 40, 10, kVoltColour},
    {"VAC", 210, 75, 10, kVoltColour},
    {"VAC", 210, 110, 10, kVoltColour},
    {"A", 215, 160, 12, kCurrentColour},
    {"A", 215, 195, 12, kCurrentColour},
    {"A", 215, 230, 12, kCurrentColour},
    {"KW", 210, 280, 11, kPowerColour},
    {"KW", 210, 315, 11, kPowerColour},
    {"KW", 210, 350, 11, kPowerColour},
    {"KWh", 204, 400, 11, kEnergyColour},
    {"KWh", 204, 435, 11, kEnergyColour},
    {"KWh", 204, 470, 11, kEnergyColour},
    {"Amp", 207, 525, 13, kTotalCurrentUnitColour},
    {"KW", 210, 565, 13, kPowerColour},
    {"KWh", 207, 605, 13, kEnergyColour},
    {"KWh", 207, 655, 13, kWeekColour},
    {"KWh", 207, 695, 13, kMonthColour},
    {"KWh", 207, 735, 13, kTotalEnergyColour},
}};

constexpr ValueBand kVoltBands[] = {{kBelowAll, 1, 120}};
constexpr ValueBand kPhaseCurrentBands[] = {{kBelowAll, 2, 130}, {10, 1, 125}, {100, 1, 110}};
constexpr ValueBand kPhasePowerBands[] = {
    {kBelowAll, 2, 130}, {10, 2, 115}, {100, 2, 100}, {1000, 2, 85}};
constexpr ValueBand kTotalCurrentBands[] = {{kBelowAll, 1, 140}, {10, 1, 120}, {100, 1, 100}};
constexpr ValueBand kTotalPowerBands[] = {{kBelowAll, 2, 120}, {10, 1, 120}, {100, 1, 100}};
constexpr ValueBand kTodayBands[] = {
    {kBelowAll, 2, 120}, {10, 1, 120}, {100, 1, 100}, {1000, 1, 80}};
constexpr ValueBand kPeriodBands[] = {
    {kBelowAll, 2, 125}, {10, 1, 125}, {100, 1, 105}, {1000, 1, 85}};
constexpr ValueBand kLifetimeBands[] = {{kBelowAll, 1, 146}, {10, 1, 132},   {100, 1, 118},
                                        {1000, 1, 104},      {10000, 1, 90}, {100000, 1, 76}};

constexpr int kDiagnosticX = 262;
constexpr int kClickTextX = 880, kClickTextY = 602;
constexpr FontSpec kDiagnosticFont{"Arial", 10, false};

void unitOrLabel(Canvas& canvas, int x, int y, std::string_view text, int size, Rgb colour) {
    canvas.text(x, y, text, FontSpec{"Arial", size, false}, colour, kBlack);
}

void value(Canvas& canvas, double v, std::span<const ValueBand> bands, int y, int size,
           Rgb colour) {
    const PlacedValue placed = placeValue(v, bands);
    canvas.text(placed.x, y, formatFixed(v, placed.decimals), FontSpec{"Arial", size, false},
                colour, kBlack);
}

void limit(float& reading, float most) {
    if (reading > most) reading = most;
}

}  // namespace

PlacedValue placeValue(double v, std::span<const ValueBand> bands) {
    PlacedValue placed{bands.front().x, bands.front().decimals};
    for (const ValueBand& band : bands)
        if (v >= band.from) placed = {band.x, band.decimals};
    return placed;
}

void paintReadingsPanel(Canvas& canvas, LiveReadings& live, LanguageMode language) {
    limit(live.A1, kPanelCurrentLimit);
    limit(live.A2, kPanelCurrentLimit);
    limit(live.A3, kPanelCurrentLimit);
    limit(live.TotalKWh, kPanelTotalEnergyLimit);

    canvas.rectangle(kFrameLeft, kFrameTop, kFrameRight, kFrameBottom, kFrameGrey, kBlack);

    if (language != LanguageMode::Chinese) {
        const bool english = language == LanguageMode::English;
        const int size = english ? kEnglishLabelSize : kBilingualLabelSize;
        for (const RowLabel& row : kRowLabels)
            unitOrLabel(canvas, kLabelX, english ? row.englishY : row.bilingualY,
                        english ? row.english : row.bilingual, size, kPanelLabelSilver);
        for (int y : kSeparatorYs) canvas.line(kSeparatorLeft, y, kSeparatorRight, y, kFrameGrey);
    }

    for (const UnitText& unit : kUnitTexts)
        unitOrLabel(canvas, unit.x, unit.y, unit.text, unit.size, unit.colour);

    constexpr int kPhaseRows = 3;
    constexpr int kRowPitch = 35;
    const float volts[kPhaseRows] = {live.V1, live.V2, live.V3};
    const float amps[kPhaseRows] = {live.A1, live.A2, live.A3};
    const float watts[kPhaseRows] = {live.W1, live.W2, live.W3};
    const float energy[kPhaseRows] = {live.K1, live.K2, live.K3};
    constexpr int kVoltY = 33, kAmpY = 150, kWattY = 270, kEnergyY = 387;
    constexpr int kVoltSize = 20, kPhaseSize = 22;
    for (int i = 0; i < kPhaseRows; ++i) {
        const int step = i * kRowPitch;
        value(canvas, volts[i], kVoltBands, kVoltY + step, kVoltSize, kVoltColour);
        value(canvas, amps[i], kPhaseCurrentBands, kAmpY + step, kPhaseSize, kCurrentColour);
        value(canvas, watts[i] * kKilowattsPerWatt, kPhasePowerBands, kWattY + step, kPhaseSize,
              kPowerColour);
        value(canvas, energy[i], kPhasePowerBands, kEnergyY + step, kPhaseSize, kEnergyColour);
    }
    constexpr int kTotalSize = 28, kPeriodSize = 26, kLifetimeSize = 23;
    value(canvas, live.Amp, kTotalCurrentBands, 503, kTotalSize, kCurrentColour);
    value(canvas, live.Watt * kKilowattsPerWatt, kTotalPowerBands, 544, kTotalSize, kPowerColour);
    value(canvas, live.KWh, kTodayBands, 585, kTotalSize, kEnergyColour);
    value(canvas, live.WeekKWh, kPeriodBands, 645, kPeriodSize, kWeekColour);
    value(canvas, live.MonthKWh, kPeriodBands, 685, kPeriodSize, kMonthColour);
    value(canvas, live.TotalKWh, kLifetimeBands, 725, kLifetimeSize, kTotalEnergyColour);
}

void paintDiagnostics(Canvas& canvas, const MeasurementStore& store, const ViewState& view) {
    struct Counter {
        std::string_view text;
        int y;
        std::int32_t value;
    };
    const Calendar& c = store.calendar;
    const Counter counters[] = {
        {"Min cnt= ", 610, store.table(TimeScale::Min).cnt},
        {"M5 cnt= ", 625, store.table(TimeScale::M5).cnt},
        {"M10 cnt= ", 640, store.table(TimeScale::M10).cnt},
        {"Hour cnt= ", 655, store.table(TimeScale::Hour).cnt},
        {"Day cnt= ", 670, store.table(TimeScale::Day).cnt},
        {"Week cnt= ", 685, store.table(TimeScale::Week).cnt},
        {"Mon cnt= ", 700, store.table(TimeScale::Month).cnt},
        {"WeekDay= ", 720, c.WeekDay},
        {"WeekDayCnt= ", 735, c.WeekDayCnt},
        {"NowMonth= ", 750, c.NowMonth},
    };
    for (const Counter& counter : counters)
        canvas.text(kDiagnosticX, counter.y,
                    std::string(counter.text) + std::to_string(counter.value), kDiagnosticFont,
                    kFrameGrey, kWindowColour);
    paintClickPosition(canvas, view.lastClickX, view.lastClickY);
}

void paintClickPosition(Canvas& canvas, int x, int y) {
    canvas.text(kClickTextX, kClickTextY, "X= " + std::to_string(x) + "   Y= " + std::to_string(y),
                kDiagnosticFont, kFrameGrey, kWindowColour);
}

}  // namespace tev
