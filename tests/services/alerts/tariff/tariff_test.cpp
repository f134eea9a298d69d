#include "services/alerts/tariff/tariff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tev::alerts {
namespace {

// Costs are worked out by hand below under the rules of Berlin: CET, CEST from the last
// Sunday of March 02:00 to the last Sunday of October 03:00.
class TariffTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz, hadTz_ = true;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static std::time_t local(int y, int mo, int d, int h, int mi = 0) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_isdst = -1;
        return std::mktime(&tm);
    }
    static Tariff twoBands() {
        const auto load = loadTariff(IniDocument::parse(
            "[tariff]\ncurrency=\\x20ac\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
            "band_2=sat,sun 22:00-06:00 0.10\nband_1=mon-fri 07:00-21:00 0.40\n"
            "[tariff.2027-01-01]\nprice_per_kwh=0.25\nstanding_charge_per_day=0.60\n"));
        EXPECT_TRUE(load.problems.empty());
        return load.tariff;
    }

  private:
    std::string saved_;
    bool hadTz_ = false;
};

TEST_F(TariffTest, AFlatPriceWithoutBandsAndNoTariffAtAll) {
    const auto flat = loadTariff(IniDocument::parse("[tariff]\ncurrency=\xE2\x82\xAC\n"
                                                    "price_per_kwh=0.30\n"))
                          .tariff;
    EXPECT_TRUE(flat.configured());
    EXPECT_EQ(flat.currency(), "\xE2\x82\xAC");
    EXPECT_NEAR(flat.energyCost(12.5, local(2026, 12, 8, 0), local(2026, 12, 9, 0)), 3.75, 1e-9);
    EXPECT_NEAR(flat.energyCost(2, local(2026, 12, 8, 5), local(2026, 12, 8, 5)), 0.60, 1e-9);
    const auto none = loadTariff(IniDocument::parse("[mqtt]\nhost=x\n")).tariff;
    EXPECT_FALSE(none.configured());
    EXPECT_EQ(none.energyCost(100, local(2026, 12, 8, 0), local(2026, 12, 9, 0)), 0);
}

TEST_F(TariffTest, EnergyIsSplitAtABandEdge) {
    const Tariff t = twoBands();
    // Tuesday 06:00-08:00, 2 kWh: 1 kWh at 0.20 before 07:00, 1 kWh at 0.40 after.
    EXPECT_NEAR(t.energyCost(2, local(2026, 12, 8, 6), local(2026, 12, 8, 8)), 0.60, 1e-9);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 8, 6, 59)), 0.20);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 8, 7, 0)), 0.40);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 8, 20, 59)), 0.40);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 8, 21, 0)), 0.20);
}

TEST_F(TariffTest, TheWeekendBandRunsPastMidnightIntoMonday) {
    const Tariff t = twoBands();
    // Friday 20:00 to Saturday 23:00, 27 kWh: Fri 20-21 at 0.40 (0.40), Fri 21-24 at 0.20
    // (0.60), Sat 0-22 at 0.20 (4.40), Sat 22-23 at 0.10 (0.10).
    EXPECT_NEAR(t.energyCost(27, local(2026, 12, 11, 20), local(2026, 12, 12, 23)), 5.50, 1e-9);
    // Sunday 21:00 to Monday 08:00, 11 kWh: Sun 21-22 at 0.20, Sun 22-24 and Mon 0-6 at 0.10,
    // Mon 6-7 at 0.20, Mon 7-8 at 0.40: 0.20 + 0.20 + 0.60 + 0.20 + 0.40.
    EXPECT_NEAR(t.energyCost(11, local(2026, 12, 13, 21), local(2026, 12, 14, 8)), 1.60, 1e-9);
    // Friday night is no weekend night: the band is for Saturday and Sunday evenings.
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 11, 23)), 0.20);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 12, 3)), 0.20);
}

TEST_F(TariffTest, ADatedChangeLeavesEarlierCostsAtTheirOldPrices) {
    const Tariff t = twoBands();
    // New Year's Eve 23:00 to 01:00, 2 kWh: 1 kWh at 0.20 and 1 kWh at 0.25.
    EXPECT_NEAR(t.energyCost(2, local(2026, 12, 31, 23), local(2027, 1, 1, 1)), 0.45, 1e-9);
    // The bands carry over into the new prices.
    EXPECT_DOUBLE_EQ(t.priceAt(local(2027, 1, 1, 7, 30)), 0.40);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2027, 1, 1, 21, 30)), 0.25);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2026, 12, 31, 21, 30)), 0.20);
    // Standing charges: 30 and 31 December at 0.50, 1 and 2 January at 0.60.
    EXPECT_NEAR(t.standingCharges(local(2026, 12, 30, 12), local(2027, 1, 2, 0, 1)), 2.20, 1e-9);
    EXPECT_DOUBLE_EQ(t.standingChargeOn(local(2027, 1, 2, 23, 59)), 0.60);
}

TEST_F(TariffTest, TheShortSpringNightIsPricedByItsRealHours) {
    const Tariff t = twoBands();
    // Saturday 27 March 2027 21:00 to Sunday 07:00 lasts 9 hours: 9 kWh, one per hour.
    // Sat 21-22 at 0.25, Sat 22-24 at 0.10, Sun 0-6 (5 real hours) at 0.10, Sun 6-7 at 0.25.
    const std::time_t from = local(2027, 3, 27, 21), to = local(2027, 3, 28, 7);
    ASSERT_EQ(to - from, 9 * 3600);
    EXPECT_NEAR(t.energyCost(9, from, to), 0.25 + 0.20 + 0.50 + 0.25, 1e-9);
}

TEST_F(TariffTest, TheRepeatedAutumnHourIsPricedTwice) {
    const auto load = loadTariff(
        IniDocument::parse("[tariff]\nprice_per_kwh=0.20\nband_1=all 02:30-03:00 1.00\n"));
    ASSERT_TRUE(load.problems.empty());
    // 25 October 2026: 00:00 to 03:00 UTC is 02:00 CEST to 04:00 CET, and 02:30-03:00 comes
    // twice. 3 kWh over three hours: 0.5 h at 0.20, 0.5 h at 1.00, again, then 1 h at 0.20.
    const std::time_t from = 1792886400;  // 2026-10-25 00:00 UTC
    EXPECT_NEAR(load.tariff.energyCost(3, from, from + 3 * 3600), 0.1 + 0.5 + 0.1 + 0.5 + 0.2,
                1e-9);
    // Saturday 23:00 to Sunday 07:00 wall clock is 9 hours long.
    EXPECT_EQ(local(2026, 10, 25, 7) - local(2026, 10, 24, 23), 9 * 3600);
}

// One pricer over a year of hour-long intervals (off the whole hour, so that band edges, both
// clock changes and the dated change cut some) gives each the cost the tariff gives it alone,
// to the last bit: what it keeps of one interval's edges never leaks into another's.
TEST_F(TariffTest, APricerOverAYearOfHoursGivesEachHourTheTariffsOwnCost) {
    const Tariff t = twoBands();
    TariffPricer pricer(t);
    int cut = 0;
    for (std::time_t from = local(2026, 6, 1, 0, 17); from < local(2027, 6, 1, 0); from += 3600) {
        const double alone = t.energyCost(1.5, from, from + 3600);
        ASSERT_EQ(pricer.energyCost(1.5, from, from + 3600), alone) << from;
        cut += alone != 1.5 * t.priceAt(from) ? 1 : 0;
    }
    EXPECT_GT(cut, 500);  // the year's band edges did cut hours
}

TEST_F(TariffTest, BadTariffLinesAreReportedWithTheirLineAndLeftOut) {
    const auto load =
        loadTariff(IniDocument::parse("[tariff]\n"
                                      "price_per_kwh=0,30\n"              // 2
                                      "band_1=mon-fri 07:00-25:00 0.4\n"  // 3
                                      "band_2=holidays 07:00-09:00 0.4\n"
                                      "band_x=all 07:00-09:00 0.4\n"  // 5
                                      "band_3=sat 10:00-12:00 0.5\n"
                                      "standing_charge=1\n"    // 7
                                      "[tariff.2027-02-30]\n"  // 8
                                      "price_per_kwh=9\n"
                                      "[tariff.2027-02-29]\n"  // 10: 2027 is no leap year
                                      "price_per_kwh=9\n"
                                      "[tariff.2028-02-29]\n"
                                      "price_per_kwh=0.5\n"));
    ASSERT_EQ(load.problems.size(), 7u);
    EXPECT_EQ(load.problems[6].line, 10);
    EXPECT_EQ(load.problems[0].line, 2);
    EXPECT_EQ(load.problems[0].text, "price_per_kwh=0,30: not a price");
    EXPECT_EQ(load.problems[1].line, 3);
    EXPECT_EQ(load.problems[2].line, 4);
    EXPECT_EQ(load.problems[3].line, 5);
    EXPECT_EQ(load.problems[4].text, "standing_charge=1: unknown tariff key");
    EXPECT_EQ(load.problems[5].line, 8);
    // The good band still applies, the bad date's prices never do.
    EXPECT_DOUBLE_EQ(load.tariff.priceAt(local(2026, 12, 12, 11)), 0.5);
    EXPECT_DOUBLE_EQ(load.tariff.priceAt(local(2027, 12, 11, 11)), 0.5);
    EXPECT_DOUBLE_EQ(load.tariff.priceAt(local(2026, 12, 12, 9)), 0);
}

// The demand charge: off when absent, a bad value told and off, read in [tariff] alone.
TEST_F(TariffTest, DemandChargePerKwIsReadOrLeftOff) {
    struct Case {
        const char* ini;
        std::optional<double> perKw;
        const char* problem;
    };
    const Case cases[] = {
        {"[tariff]\nprice_per_kwh=0.3\n", std::nullopt, nullptr},
        {"[tariff]\nprice_per_kwh=0.3\ndemand_charge_per_kw=9.5\n", 9.5, nullptr},
        {"[tariff]\ndemand_charge_per_kw=0\nprice_per_kwh=0.3\n", 0.0, nullptr},
        {"[tariff]\nprice_per_kwh=0.3\ndemand_charge_per_kw=-1\n", std::nullopt,
         "demand_charge_per_kw=-1: not a price"},
        {"[tariff]\ndemand_charge_per_kw=4\ndemand_charge_per_kw=lots\n", std::nullopt,
         "demand_charge_per_kw=lots: not a price"},
        {"[tariff]\nprice_per_kwh=0.3\n[tariff.2027-01-01]\ndemand_charge_per_kw=2\n", std::nullopt,
         "demand_charge_per_kw=2: unknown tariff key"},
    };
    for (const Case& c : cases) {
        const auto load = loadTariff(IniDocument::parse(c.ini));
        EXPECT_EQ(load.tariff.demandChargePerKw(), c.perKw) << c.ini;
        ASSERT_EQ(load.problems.size(), c.problem ? 1u : 0u) << c.ini;
        if (c.problem) {
            EXPECT_EQ(load.problems[0].text, c.problem) << c.ini;
        }
    }
}

TEST_F(TariffTest, LaterDatedGroupCanDropTheBands) {
    const auto t = loadTariff(IniDocument::parse("[tariff]\nprice_per_kwh=0.2\n"
                                                 "band_1=all 00:00-12:00 0.1\n"
                                                 "[tariff.2027-06-01]\nband_1=none\n"))
                       .tariff;
    EXPECT_DOUBLE_EQ(t.priceAt(local(2027, 5, 31, 6)), 0.1);
    EXPECT_DOUBLE_EQ(t.priceAt(local(2027, 6, 1, 6)), 0.2);
}

// A band that runs over midnight into the small hours, on the days the clocks change, under
// two zones' rules: both passes of a repeated hour are in the band up to 02:30, and a skipped
// hour is in none. One kWh an hour of the real day; 0.18 in the band, 0.30 outside.
TEST_F(TariffTest, BandEdgesStayAtTheirWallClockTimeOnTheDaysTheClocksChange) {
    const Tariff t = loadTariff(IniDocument::parse("[tariff]\nprice_per_kwh=0.30\n"
                                                   "band_1=all 22:00-02:30 0.18\n"))
                         .tariff;
    struct Case {
        const char* zone;
        int year, month, day;
        double hours, bandHours;
    } const cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2026, 10, 25, 25, 5},  // 02:00-02:30 twice
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2026, 3, 29, 23, 4},   // 02:00-03:00 skipped
        {"EST5EDT,M3.2.0,M11.1.0", 2026, 11, 1, 25, 5.5},     // 01:00-02:00 twice
        {"EST5EDT,M3.2.0,M11.1.0", 2026, 3, 8, 23, 4},        // 02:00-03:00 skipped
    };
    for (const Case& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        const std::time_t from = local(c.year, c.month, c.day, 0);
        const std::time_t to = local(c.year, c.month, c.day + 1, 0);
        ASSERT_EQ(to - from, static_cast<std::time_t>(c.hours * 3600)) << c.zone;
        EXPECT_NEAR(t.energyCost(c.hours, from, to),
                    c.bandHours * 0.18 + (c.hours - c.bandHours) * 0.30, 1e-9)
            << c.zone << " " << c.month << "/" << c.day;
    }
}

}  // namespace
}  // namespace tev::alerts
