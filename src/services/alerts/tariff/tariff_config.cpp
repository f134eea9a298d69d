#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "services/alerts/tariff/tariff.h"

namespace tev::alerts {

namespace {

constexpr std::string_view kTariffGroup = "tariff";
constexpr std::string_view kDatedPrefix = "tariff.";
constexpr std::string_view kBandPrefix = "band_";
constexpr std::string_view kNoBands = "none";
constexpr int kMinutesPerDay = 24 * 60;
constexpr std::array<std::string_view, 7> kDayNames = {"sun", "mon", "tue", "wed",
                                                       "thu", "fri", "sat"};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int dayIndex(std::string_view name) {
    for (int i = 0; i < 7; ++i)
        if (kDayNames[i] == name) return i;
    return -1;
}

// "mon-fri", "sat,sun", "fri-mon", "all": the weekdays (0 = Sunday) a band holds.
std::optional<std::array<bool, 7>> parseDays(std::string_view text) {
    std::array<bool, 7> days{};
    if (text == "all") {
        days.fill(true);
        return days;
    }
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const std::size_t dash = item.find('-');
        const int first = dayIndex(item.substr(0, dash));
        const int last = dash == std::string_view::npos ? first : dayIndex(item.substr(dash + 1));
        if (first < 0 || last < 0) return std::nullopt;
        for (int d = first;; d = (d + 1) % 7) {
            days[d] = true;
            if (d == last) break;
        }
    }
    return days;
}

// "07:30" as minutes after midnight; "24:00" is the end of the day.
std::optional<int> parseClock(std::string_view text) {
    if (text.size() != 5 || text[2] != ':') return std::nullopt;
    for (int i : {0, 1, 3, 4})
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[3] - '0') * 10 + (text[4] - '0');
    if (m > 59 || h > 24 || (h == 24 && m != 0)) return std::nullopt;
    return h * 60 + m;
}

struct Band {
    int number = 0;  // n of band_<n>: bands go in number order, never in text order
    std::array<bool, 7> days{};
    int start = 0, end = 0;
    double price = 0;
};

std::optional<Band> parseBand(std::string_view text) {
    text = trim(text);
    const std::size_t s1 = text.find(' ');
    if (s1 == std::string_view::npos) return std::nullopt;
    const std::string_view rest = trim(text.substr(s1 + 1));
    const std::size_t s2 = rest.find(' ');
    if (s2 == std::string_view::npos) return std::nullopt;
    const std::string_view span = rest.substr(0, s2);
    const std::size_t dash = span.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const auto days = parseDays(text.substr(0, s1));
    const auto start = parseClock(span.substr(0, dash));
    const auto end = parseClock(span.substr(dash + 1));
    double price = 0;
    if (!days || !start || !end || *start == kMinutesPerDay ||
        !parseIniNumber(rest.substr(s2 + 1), price) || price < 0)
        return std::nullopt;
    return Band{0, *days, *start, *end == 0 ? kMinutesPerDay : *end, price};
}

// "2027-01-01" as 20270101.
std::optional<int> parseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 10; ++i) {
        if (i == 4 || i == 7) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        int& part = i < 4 ? y : (i < 7 ? m : d);
        part = part * 10 + (text[i] - '0');
    }
    static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1970 || m < 1 || m > 12 || d < 1 || d > kDaysIn[m - 1] + (m == 2 && leap ? 1 : 0))
        return std::nullopt;
    return y * 10000 + m * 100 + d;
}

// The prices of one group, before the bands are laid over the days.
struct PeriodDraft {
    int fromDate = 0;
    double price = 0;
    double standing = 0;
    std::vector<Band> bands;
};

// `currency` and `demand` are read in [tariff] alone (nullptr in a dated group).
void readGroup(const IniGroup& g, PeriodDraft& draft, std::string* currency,
               std::vector<ConfigProblem>& problems, std::optional<double>* demand = nullptr) {
    bool bandsGiven = false;
    for (const IniEntry& e : g.entries) {
        const std::string where = e.key + "=" + e.value + ": ";
        double v = 0;
        if (e.key == "currency" && currency != nullptr) {
            *currency = std::string(trim(e.value));
        } else if (e.key == "price_per_kwh" || e.key == "standing_charge_per_day") {
            if (!parseIniNumber(e.value, v) || v < 0) {
                problems.push_back({e.line, where + "not a price"});
                continue;
            }
            (e.key == "price_per_kwh" ? draft.price : draft.standing) = v;
        } else if (e.key == "demand_charge_per_kw" && demand != nullptr) {
            // A bad value leaves the charge off.
            demand->reset();
            if (!parseIniNumber(e.value, v) || v < 0) {
                problems.push_back({e.line, where + "not a price"});
                continue;
            }
            *demand = v;
        } else if (e.key.starts_with(kBandPrefix)) {
            double number = 0;
            if (!parseIniNumber(std::string_view(e.key).substr(kBandPrefix.size()), number) ||
                number < 0 || number != static_cast<int>(number)) {
                problems.push_back({e.line, where + "unknown tariff key"});
                continue;
            }
            if (!bandsGiven) draft.bands.clear();
            bandsGiven = true;
            if (trim(e.value) == kNoBands) continue;
            auto band = parseBand(e.value);
            if (!band) {
                problems.push_back({e.line, where + "not <days> <HH:MM>-<HH:MM> <price>"});
                continue;
            }
            band->number = static_cast<int>(number);
            draft.bands.push_back(*band);
        } else {
            problems.push_back({e.line, where + "unknown tariff key"});
        }
    }
    std::stable_sort(draft.bands.begin(), draft.bands.end(),
                     [](const Band& a, const Band& b) { return a.number < b.number; });
}

TariffPeriod layOut(const PeriodDraft& draft) {
    // The price of every minute of each weekday; the first band that holds it wins.
    std::array<std::array<double, kMinutesPerDay>, 7> minute{};
    std::array<std::array<bool, kMinutesPerDay>, 7> taken{};
    for (auto& day : minute) day.fill(draft.price);
    auto cover = [&](int day, int from, int to, double price) {
        for (int m = from; m < to; ++m) {
            if (taken[day][m]) continue;
            taken[day][m] = true;
            minute[day][m] = price;
        }
    };
    for (const Band& b : draft.bands) {
        for (int d = 0; d < 7; ++d) {
            if (!b.days[d]) continue;
            if (b.end > b.start) {
                cover(d, b.start, b.end, b.price);
            } else {
                cover(d, b.start, kMinutesPerDay, b.price);
                cover((d + 1) % 7, 0, b.end, b.price);
            }
        }
    }
    TariffPeriod p;
    p.fromDate = draft.fromDate;
    p.pricePerKwh = draft.price;
    p.standingChargePerDay = draft.standing;
    for (int d = 0; d < 7; ++d) {
        for (int m = 0; m < kMinutesPerDay; ++m) {
            auto& segs = p.segments[d];
            if (segs.empty() || segs.back().pricePerKwh != minute[d][m])
                segs.push_back({m, m + 1, minute[d][m]});
            else
                segs.back().endMinute = m + 1;
        }
    }
    return p;
}

}  // namespace

TariffLoad loadTariff(const IniDocument& ini) {
    TariffLoad out;
    const auto base = ini.find(kTariffGroup);
    std::vector<const IniGroup*> dated;
    for (const IniGroup& g : ini.groups())
        if (g.name.starts_with(kDatedPrefix)) dated.push_back(&g);
    if (base.empty() && dated.empty()) return out;

    std::string currency;
    PeriodDraft draft;
    std::optional<double> demand;
    for (const IniGroup* g : base) readGroup(*g, draft, &currency, out.problems, &demand);
    std::vector<PeriodDraft> drafts{draft};
    std::vector<std::pair<int, const IniGroup*>> changes;
    for (const IniGroup* g : dated) {
        const auto date = parseDate(std::string_view(g->name).substr(kDatedPrefix.size()));
        if (!date) {
            out.problems.push_back({g->line, "[" + g->name + "]: not a date YYYY-MM-DD"});
            continue;
        }
        changes.emplace_back(*date, g);
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [date, g] : changes) {
        PeriodDraft next = drafts.back();
        next.fromDate = date;
        readGroup(*g, next, nullptr, out.problems);
        if (drafts.back().fromDate == date)
            drafts.back() = next;  // a date given twice: the later group wins key by key
        else
            drafts.push_back(next);
    }
    std::vector<TariffPeriod> periods;
    for (const PeriodDraft& d : drafts) periods.push_back(layOut(d));
    out.tariff = Tariff(std::move(periods), currency);
    out.tariff.setDemandChargePerKw(demand);
    return out;
}

}  // namespace tev::alerts
