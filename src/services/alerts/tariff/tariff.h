#pragma once

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/ini_document.h"

namespace tev::alerts {

// A stretch of one weekday, in minutes after local midnight, with its price per kWh.
struct TariffSegment {
    int startMinute = 0;
    int endMinute = 0;  // exclusive; 1440 is midnight at the end of the day
    double pricePerKwh = 0;
};

// The prices from one date on (local midnight). `segments[wday]`, wday 0 = Sunday, covers the
// whole day in order.
struct TariffPeriod {
    int fromDate = 0;  // yyyymmdd; 0 for the prices before any dated change
    double pricePerKwh = 0;
    double standingChargePerDay = 0;
    std::array<std::vector<TariffSegment>, 7> segments;
};

// What energy costs: a flat price, optional time-of-use bands by weekday and time of day,
// optional dated changes that leave past costs at the prices they had, and an optional
// standing charge per day. Times are local times under the process's time zone rules, so a
// band edge stays at its wall-clock time across changes to and from daylight saving time.
class Tariff {
  public:
    // A tariff with no price: everything costs nothing and `configured()` is false.
    Tariff();
    explicit Tariff(std::vector<TariffPeriod> periods, std::string currency);

    bool configured() const { return configured_; }
    const std::string& currency() const { return currency_; }
    const std::vector<TariffPeriod>& periods() const { return periods_; }
    // The price of a kW of the month's peak 15-minute demand; nothing: no such charge.
    const std::optional<double>& demandChargePerKw() const { return demandChargePerKw_; }
    void setDemandChargePerKw(std::optional<double> perKw) { demandChargePerKw_ = perKw; }

    // The price per kWh in force at `t`.
    double priceAt(std::time_t t) const;
    // The cost of `kwh` used evenly over [from, to), split at band edges and dated changes.
    // A zero-length interval is priced at `from`.
    double energyCost(double kwh, std::time_t from, std::time_t to) const;
    // The standing charge of the local day that holds `t`.
    double standingChargeOn(std::time_t t) const;
    // The standing charges of every local day from the day of `from` to the day of `to`, both
    // included.
    double standingCharges(std::time_t from, std::time_t to) const;

  private:
    friend class TariffPricer;
    std::vector<TariffPeriod> periods_;
    std::string currency_;
    bool configured_ = false;
    std::optional<double> demandChargePerKw_;

    const TariffPeriod& periodAt(const std::tm& local) const;
};

// Prices intervals one after another (the hour rows of one answer) as Tariff::energyCost does,
// to the last bit, but keeps the instants of the wall-clock edges it has looked up: a run of
// hours asks the zone rules (mktime, which with TZ unset reads the state of /etc/localtime
// every time) once per band edge and day, not three times an hour. Use one per answer and
// drop it: the zone may change between answers.
class TariffPricer {
  public:
    explicit TariffPricer(const Tariff& tariff) : tariff_(tariff) {}
    double energyCost(double kwh, std::time_t from, std::time_t to);

  private:
    // The instant of minute `minute` of the local day of `day`, read with that isdst.
    std::time_t edgeInstant(const std::tm& day, int minute, int isDst);

    struct Edge {
        int date = -1;
        int minute = 0;
        int isDst = 0;
        std::time_t at = 0;
    };
    const Tariff& tariff_;
    std::array<Edge, 16> edges_{};
    std::size_t nextEdge_ = 0;
};

struct TariffLoad {
    Tariff tariff;
    std::vector<ConfigProblem> problems;
};

// Reads `[tariff]` and its dated groups `[tariff.YYYY-MM-DD]`. Keys:
//   currency=€                    shown beside every cost
//   price_per_kwh=0.30            the price outside every band
//   standing_charge_per_day=0.45  charged once per local day
//   demand_charge_per_kw=9.50     per kW of the month's peak demand ([tariff] only)
//   band_<n>=<days> <HH:MM>-<HH:MM> <price>   e.g. band_1=mon-fri 07:00-23:00 0.40;
//       days are mon..sun, a range (mon-fri), a list (sat,sun) or all; an end at or before the
//       start runs past midnight into the next day; where bands overlap, the lowest <n> wins.
// A dated group keeps every key it does not give from the prices before it; a band key there
// replaces all bands (band_1=none: no bands from that date). A bad line is listed with its
// line and left out.
TariffLoad loadTariff(const IniDocument& ini);

// Local date of `t` as yyyymmdd.
int localDateCode(std::time_t t);

}  // namespace tev::alerts
