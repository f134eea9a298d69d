#include "core/meterlink/meter_link.h"

#include <algorithm>
#include <utility>

#include "core/meterlink/day_file.h"
#include "core/meterlink/message_fields.h"
#include "core/texts/number_text.h"

namespace tev {
namespace {

constexpr std::string_view kPollPrefix = "HQ2 ";
constexpr std::size_t kPollMinLength = 16;
constexpr std::size_t kPollMaxLength = 29;
constexpr std::size_t kPollIdAt = 4;

constexpr std::string_view kAdcPrefix = "HQ2 SYS ADC ";
constexpr std::size_t kAdcIdAt = 12;
constexpr std::size_t kAdcFieldsAt = 25;
constexpr char kAdcFieldSeparator = '_';
constexpr int kAdcFieldCount = 6;
constexpr std::size_t kAdcTextLength = 20;

constexpr std::string_view kDevicePrefix260 = "HOQ-260 PWR";
constexpr std::string_view kDevicePrefix250 = "HOQ-250 PWR";
constexpr std::size_t kDeviceIdAt = 12;
constexpr std::size_t kModelSearchAt = 21;
constexpr std::size_t kProjSearchAt = 24;
constexpr std::size_t kModelLength = 30;
constexpr std::size_t kProjLength = 80;
constexpr std::size_t kTagLength = 20;
constexpr int kDeviceNumberWords = 18;
constexpr int kDeviceTagWord = 19;
constexpr int kDeviceFirstParamWord = 4;

constexpr std::string_view kDataPrefix = "HOQ-260";
constexpr std::string_view kDataIpMark = "IP";
constexpr std::size_t kDataIpMarkAt = 22;
constexpr std::size_t kDataIdAt = 9;
constexpr std::string_view kIpField = "IP=";
constexpr std::size_t kIpSearchAt = 21;
constexpr std::size_t kIpLength = 18;
// Scan windows of the meter date and time, as [first, end) indexes.
constexpr std::size_t kDateWindowFirst = 29;
constexpr std::size_t kDateWindowEnd = 54;
constexpr std::size_t kTimeWindowFirst = 33;
constexpr std::size_t kTimeWindowEnd = 69;
// The data words begin one separator after the time's closing sign.
constexpr std::size_t kWordsAfterTime = 2;
constexpr int kDataWordCount = 25;
constexpr int kDataDecimalWords = 21;
constexpr std::size_t kMaxWordChars = 48;

constexpr std::int32_t kFirstValidSecond = 1;
constexpr std::int32_t kSecondsPerDay = 86400;
constexpr std::int32_t kSecondsPerHour = 3600;
constexpr std::int32_t kSecondsPerMinute = 60;
constexpr int kMinutesPerSlot = 10;
// Minute of day after which the day file is written (23:57 or later), and before which the
// next day re-arms it (before 00:20), both by the meter's clock.
constexpr int kDayFileMinute = 1436;
constexpr int kRearmMinute = 20;

constexpr int kRegistrationBeepHz = 1800;
constexpr int kRegistrationBeepMs = 250;
constexpr int kLinkOffBeepHz = 1200;
constexpr int kLinkOnBeepHz = 1500;
constexpr int kLinkBeepMs = 200;

constexpr int kDayHistoryLimit = 199;
constexpr int kDayHistoryBLimit = 49;
constexpr int kMonthHistoryLimit = 49;
constexpr std::int32_t kMonthDivisor = 100;
constexpr std::int32_t kYearDivisor = 10000;

// Word numbers of the data message.
constexpr int kWordDayEnergy = 10;

std::string_view cut(std::string_view text, std::size_t length) {
    return text.substr(0, std::min(text.size(), length));
}

// The per-meter voltage figure the histories carry: the plain mean of the three phases.
float voltMeanOf(float v1, float v2, float v3) {
    return (v1 + v2 + v3) / 3.0f;
}

template <int Capacity>
void shiftDown(History<Capacity>& h) {
    for (int i = h.count - 1; i >= 0; --i) h.entries[i + 1] = h.entries[i];
    h.count += 1;
}

// One entry per meter day, newest first: entry 0 follows the current date, a new date opens
// a new entry while the history has room and `mayOpen` holds.
template <int Capacity>
void updateDailyHistory(History<Capacity>& h, int limit, std::int32_t date, float voltMean,
                        const float* energy, bool mayOpen) {
    HistoryEntry& e0 = h.entries[0];
    if (e0.date == 0 || (e0.date == date && date > 0)) {
        e0.date = date;
        e0.voltMean = voltMean;
        std::copy(energy, energy + 4, e0.energy.begin());
        if (h.count == 0) h.count = 1;
    } else if (e0.date > 0 && date > 0 && date != e0.date && h.count >= 1 && h.count <= limit &&
               mayOpen) {
        shiftDown(h);
        h.entries[0].date = date;
        h.entries[0].energy[0] = energy[0];
    }
}

// Seconds since 1970 of a local date and time, for spacing log lines.
std::int64_t secondsOf(const DateTime& t) {
    // Days from the civil date (Howard Hinnant's algorithm).
    const int y = t.year - (t.month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

MeterLink::MeterLink(MeasurementStore& store, EventLog& log, ToneSink& tones, const Clock& clock,
                     const LanguageMode& language, std::string workingDirectory)
    : store_(store),
      log_(log),
      tones_(tones),
      clock_(clock),
      language_(language),
      workingDirectory_(std::move(workingDirectory)) {}

std::string MeterLink::handleMessage(std::string_view message) {
    std::string reply;
    lastFromRegistered_ = false;
    lastData_ = false;
    try {
        bool recognised = false;
        bool abandoned = false;
        auto run = [&](Result r) {
            recognised = true;
            if (r == Result::Abandoned) abandoned = true;
        };
        // The four kinds are tested one after the other, each independently of the others.
        if (message.size() >= kPollMinLength && message.size() <= kPollMaxLength &&
            message.starts_with(kPollPrefix) &&
            isStorableMeterId(message.substr(kPollIdAt, kMeterIdLength)))
            run(handlePoll(message, reply));
        if (message.size() >= kAdcIdAt + kMeterIdLength && message.starts_with(kAdcPrefix) &&
            isStorableMeterId(message.substr(kAdcIdAt, kMeterIdLength)))
            run(handleAdcReport(message));
        if (message.size() >= kDeviceIdAt + kMeterIdLength &&
            (message.starts_with(kDevicePrefix260) || message.starts_with(kDevicePrefix250)) &&
            isStorableMeterId(message.substr(kDeviceIdAt, kMeterIdLength))) {
            if (allowList_.allows(message.substr(kDeviceIdAt, kMeterIdLength)))
                run(handleDeviceMessage(message));
            else
                refuseMeter(message.substr(kDeviceIdAt, kMeterIdLength));
        }
        if (message.size() >= kDataIpMarkAt + kDataIpMark.size() &&
            message.starts_with(kDataPrefix) &&
            message.substr(kDataIpMarkAt, kDataIpMark.size()) == kDataIpMark &&
            isStorableMeterId(message.substr(kDataIdAt, kMeterIdLength))) {
            if (allowList_.allows(message.substr(kDataIdAt, kMeterIdLength))) {
                const Result r = handleDataMessage(message);
                run(r);
                lastData_ = r != Result::Abandoned;
            } else
                refuseMeter(message.substr(kDataIdAt, kMeterIdLength));
        }

        lastFromRegistered_ = recognised && store_.registry.find(currentId_) >= 0;
        if (!recognised)
            ++counters_.ignored;
        else if (abandoned)
            ++counters_.abandoned;
        else
            ++counters_.handled;
    } catch (...) {
        // Only memory exhaustion can get here; the link carries on with the next message.
        ++counters_.abandoned;
    }
    return reply;
}

MeterLink::Result MeterLink::handlePoll(std::string_view message, std::string& reply) {
    const std::string_view id = message.substr(kPollIdAt, kMeterIdLength);
    currentId_.assign(id);
    const int k = store_.registry.find(id);
    if (k < 0) return Result::Handled;
    store_.calendar.SilenceCount = 0;
    MeterEntry& entry = store_.registry.rows[k];
    if (!entry.Pending.empty()) {
        reply.assign(entry.Pending.view());
        log_.append("HQ2: " + std::string(id) + " 輪詢1: [" + reply + "] OK !");
        entry.Pending.clear();
    }
    return Result::Handled;
}

MeterLink::Result MeterLink::handleAdcReport(std::string_view message) {
    log_.append("[" + printableText(message) + "] " + std::to_string(message.size()));
    const std::string_view id = message.substr(kAdcIdAt, kMeterIdLength);
    currentId_.assign(id);
    log_.append("[" + std::string(id) + "] " + std::to_string(kMeterIdLength));

    // A field is taken when the underscore after it is reached; fields not taken stay empty.
    std::array<std::string_view, kAdcFieldCount> fields{};
    const std::size_t bodyEnd = message.size() - 1;
    std::size_t start = kAdcFieldsAt;
    for (int f = 0; f < kAdcFieldCount && start <= bodyEnd; ++f) {
        const std::size_t sep = findWithin(message, kAdcFieldSeparator, start, bodyEnd);
        if (sep == std::string_view::npos) break;
        fields[f] = message.substr(start, sep - start);
        start = sep + 1;
    }
    const std::optional<std::int32_t> adc1 = parseInteger(fields[0]);
    if (!adc1) return Result::Abandoned;
    std::int32_t truncated[2] = {};
    for (int i = 0; i < 2; ++i) {
        const std::optional<std::int32_t> v = parseTruncatedDecimal(fields[1 + i]);
        if (!v) return Result::Abandoned;
        truncated[i] = *v;
    }

    const int k = store_.registry.find(id);
    if (k >= 0) {
        log_.append("HQ2 SYS ADC 補傳, k= " + std::to_string(k));
        MeterEntry& entry = store_.registry.rows[k];
        entry.Adc1 = *adc1;
        entry.Adc2 = truncated[0];
        entry.Adc3 = truncated[1];
        entry.AdcText1.assign(cut(fields[3], kAdcTextLength));
        entry.AdcText2.assign(cut(fields[4], kAdcTextLength));
        entry.AdcText3.assign(cut(fields[5], kAdcTextLength));
    }
    return Result::Handled;
}

MeterLink::Result MeterLink::handleDeviceMessage(std::string_view message) {
    const std::string_view id = message.substr(kDeviceIdAt, kMeterIdLength);
    currentId_.assign(id);
    const std::size_t bodyEnd = message.size() - 1;

    const std::optional<std::string_view> model =
        bracketed(message, '[', ']', kModelSearchAt, bodyEnd);
    if (!model)
        log_.append("HQ2: Model Get fail !");
    else if (!model->empty())
        currentModel_.assign(cut(*model, kModelLength));

    const std::optional<std::string_view> proj =
        bracketed(message, '<', '>', kProjSearchAt, bodyEnd);
    if (!proj) {
        log_.append("|HQ2: Proj Get fail !");
    } else if (!proj->empty()) {
        currentProject_.assign(cut(*proj, kProjLength));
        // Words after the closing sign, each after a single space: Cfg1, an integer that is not
        // kept, Cfg3, fifteen parameters and the tag. Every number must be there and convert.
        std::size_t pos =
            static_cast<std::size_t>(proj->data() - message.data()) + proj->size() + 1;
        DeviceWords words;
        std::string_view tag;
        for (int n = 1; n <= kDeviceTagWord; ++n) {
            std::string_view word;
            if (pos < bodyEnd && message[pos] == ' ') {
                const std::size_t start = pos + 1;
                std::size_t end = findWithin(message, ' ', start, bodyEnd);
                if (end == std::string_view::npos) end = bodyEnd;
                word = message.substr(start, end - start);
                pos = end;
            } else {
                pos = bodyEnd;
            }
            if (n == kDeviceTagWord) {
                // A meter that ends its line with CR LF leaves the CR on the last word.
                tag = word.substr(0, std::min(word.size(), word.find_first_of("\r\n")));
            } else if (n <= 3) {
                const std::optional<std::int32_t> v = parseInteger(word);
                if (!v) return Result::Abandoned;
                if (n == 1) words.cfg1 = *v;
                if (n == 3) words.cfg3 = *v;
            } else {
                const std::optional<float> v = parseDecimal(word);
                if (!v) return Result::Abandoned;
                words.param[n - kDeviceFirstParamWord] = *v;
            }
        }
        static_assert(kDeviceNumberWords + 1 == kDeviceTagWord);
        deviceWords_ = words;
        currentTag_.assign(cut(tag, kTagLength));
    }

    MeterRegistry& reg = store_.registry;
    bool created = false;
    if (reg.MeterCount == 0) {
        registerFromDevice(0, id, true);
        reg.MeterCount = 1;
        tones_.beep(kRegistrationBeepHz, kRegistrationBeepMs);
        created = true;
    }
    const int k = reg.find(id);
    if (k >= 0) {
        registerFromDevice(k, id, false);
    } else if (!created && reg.MeterCount < kMeterRegistryCapacity) {
        // A new meter when all 200 rows are used is ignored.
        const int row = reg.MeterCount;
        registerFromDevice(row, id, true);
        reg.rows[row].DayFileCount = 0;
        reg.MeterCount += 1;
        tones_.beep(kRegistrationBeepHz, kRegistrationBeepMs);
        logConnectLine(id);
    }
    return Result::Handled;
}

void MeterLink::registerFromDevice(int row, std::string_view id, bool fresh) {
    MeterEntry& entry = store_.registry.rows[row];
    entry.Id.assign(id);
    entry.IpAddr.assign(currentIp_);
    entry.Cfg1 = deviceWords_.cfg1;
    entry.Cfg3 = deviceWords_.cfg3;
    entry.Param = deviceWords_.param;
    entry.Model.assign(currentModel_);
    entry.Proj.assign(currentProject_);
    entry.Tag.assign(currentTag_);
    if (fresh) {
        clearHistoryCounts(entry);
        dayFiles_[row].failureReported = false;
    }
}

MeterLink::Result MeterLink::handleDataMessage(std::string_view message) {
    const std::string_view id = message.substr(kDataIdAt, kMeterIdLength);
    currentId_.assign(id);
    const std::size_t bodyEnd = message.size() - 1;

    // The IP text runs from after "IP=" to the next space; an empty one is allowed.
    const std::size_t ipMark = message.substr(0, bodyEnd).find(kIpField, kIpSearchAt);
    std::size_t ipEnd = std::string_view::npos;
    if (ipMark != std::string_view::npos)
        ipEnd = findWithin(message, ' ', ipMark + kIpField.size(), bodyEnd);
    if (ipEnd != std::string_view::npos) {
        const std::size_t ipStart = ipMark + kIpField.size();
        currentIp_.assign(cut(message.substr(ipStart, ipEnd - ipStart), kIpLength));
    } else {
        log_.append("HQ2: IP_Addr Get fail !");
    }

    if (message.size() < kDateWindowEnd) return Result::Abandoned;
    std::optional<std::int32_t> meterDate;
    if (const auto text =
            bracketed(message, '[', ']', kDateWindowFirst, std::min(kDateWindowEnd, bodyEnd))) {
        meterDate = parseInteger(*text);
        if (!meterDate) return Result::Abandoned;
    } else {
        log_.append("HQ2: 日期 Get fail !");
    }

    if (message.size() < kTimeWindowEnd) return Result::Abandoned;
    const std::optional<std::string_view> secsText =
        bracketed(message, '<', '>', kTimeWindowFirst, std::min(kTimeWindowEnd, bodyEnd));
    if (!secsText) {
        log_.append("HQ2: 時間 Get fail !");
        // Without the time's closing sign there is no place where the data words begin.
        return Result::Abandoned;
    }
    const std::optional<std::int32_t> secs = parseInteger(*secsText);
    if (!secs) return Result::Abandoned;
    std::optional<int> minuteOfDay;
    std::optional<int> hour;
    if (*secs >= kFirstValidSecond && *secs <= kSecondsPerDay) {
        minuteOfDay = *secs / kSecondsPerMinute;
        hour = *secs / kSecondsPerHour;
    }

    // The words: only digits and full stops are collected (a minus sign is dropped); a word is
    // taken at the space after it. A missing, empty or unconvertible word abandons the message.
    DataWords words;
    const std::size_t timeClose =
        static_cast<std::size_t>(secsText->data() - message.data()) + secsText->size();
    char collected[kMaxWordChars];
    std::size_t length = 0;
    int taken = 0;
    for (std::size_t i = timeClose + kWordsAfterTime; i < bodyEnd && taken < kDataWordCount; ++i) {
        const char c = message[i];
        if (c == ' ') {
            const std::string_view word(collected, length);
            if (taken < kDataDecimalWords) {
                const std::optional<float> v = parseDecimal(word);
                if (!v) return Result::Abandoned;
                words.decimals[taken] = *v;
            } else {
                const std::optional<std::int32_t> v = parseInteger(word);
                if (!v) return Result::Abandoned;
                words.integers[taken - kDataDecimalWords] = *v;
            }
            ++taken;
            length = 0;
        } else if ((c >= '0' && c <= '9') || c == '.') {
            if (length == kMaxWordChars) return Result::Abandoned;
            collected[length++] = c;
        }
    }
    // The 25th word counts only with its space before the terminator; without it the other 24
    // words are handled and Field25 keeps its value.
    if (taken < kDataWordCount - 1) return Result::Abandoned;
    words.lastWordTaken = taken == kDataWordCount;

    MeterRegistry& reg = store_.registry;
    bool created = false;
    if (reg.MeterCount == 0) {
        registerPrimaryFromData(id, meterDate.value_or(0), *secs, words);
        reg.MeterCount = 1;
        tones_.beep(kRegistrationBeepHz, kRegistrationBeepMs);
        logConnectLine(id);
        created = true;
    }
    const int k = reg.find(id);
    if (k >= 0) {
        MeterEntry& entry = reg.rows[k];
        updateFromData(k, id, meterDate.value_or(entry.MeterDate), *secs, words, minuteOfDay);
        updateHistories(entry, words, hour);
    } else if (!created && reg.MeterCount < kMeterRegistryCapacity) {
        // A new meter when all 200 rows are used is ignored.
        const int row = reg.MeterCount;
        appendFromData(row, id, meterDate.value_or(0), *secs, words);
        reg.MeterCount += 1;
        updateHistories(reg.rows[row], words, hour);
    }
    return Result::Handled;
}

// The fields a data message sets on a meter it registers: the ID and address, the meter's date
// and time, voltages, currents and the three values between them, and the integer words.
void MeterLink::assignDataFields(MeterEntry& entry, std::string_view id, std::int32_t meterDate,
                                 std::int32_t secs, const DataWords& words) {
    entry.Id.assign(id);
    entry.IpAddr.assign(currentIp_);
    entry.MeterDate = meterDate;
    entry.Secs = secs;
    entry.V1 = words.word(1);
    entry.V2 = words.word(2);
    entry.V3 = words.word(3);
    entry.Field4 = words.word(4);
    entry.Field5 = words.word(5);
    entry.Field6 = words.word(6);
    entry.A1 = words.word(7);
    entry.A2 = words.word(8);
    entry.A3 = words.word(9);
    entry.Field22 = words.integers[0];
    entry.Field23 = words.integers[1];
    entry.Field24 = words.integers[2];
    entry.Field25 = words.lastWordTaken ? words.integers[3] : 0;
}

void MeterLink::registerPrimaryFromData(std::string_view id, std::int32_t meterDate,
                                        std::int32_t secs, const DataWords& words) {
    MeterEntry& entry = store_.registry.rows[0];
    assignDataFields(entry, id, meterDate, secs, words);
    // The first energy of each group of four: day, the second day account, month.
    for (int i : {0, 4, 8}) entry.Energy[i] = words.word(kWordDayEnergy + i);
    clearHistoryCounts(entry);
    dayFiles_[0].failureReported = false;
}

void MeterLink::appendFromData(int row, std::string_view id, std::int32_t meterDate,
                               std::int32_t secs, const DataWords& words) {
    MeterEntry& entry = store_.registry.rows[row];
    assignDataFields(entry, id, meterDate, secs, words);
    for (int i = 0; i < 12; ++i) entry.Energy[i] = words.word(kWordDayEnergy + i);
    entry.Model.assign(currentModel_);
    entry.Proj.assign(currentProject_);
    clearHistoryCounts(entry);
    dayFiles_[row].failureReported = false;
}

void MeterLink::updateFromData(int row, std::string_view id, std::int32_t meterDate,
                               std::int32_t secs, const DataWords& words,
                               std::optional<int> minuteOfDay) {
    MeterEntry& entry = store_.registry.rows[row];
    entry.Id.assign(id);
    entry.IpAddr.assign(currentIp_);
    entry.MeterDate = meterDate;
    entry.Secs = secs;
    entry.Field24 = words.integers[2];
    if (words.lastWordTaken) entry.Field25 = words.integers[3];
    entry.V1 = words.word(1);
    entry.V2 = words.word(2);
    entry.V3 = words.word(3);
    entry.VoltMean = voltMeanOf(entry.V1, entry.V2, entry.V3);
    entry.Field4 = words.word(4);
    entry.Field5 = words.word(5);
    entry.Field6 = words.word(6);
    entry.A1 = words.word(7);
    entry.A2 = words.word(8);
    entry.A3 = words.word(9);
    entry.Field22 = words.integers[0];
    entry.Field23 = words.integers[1];
    entry.MaxAmp = std::max({entry.MaxAmp, entry.A1, entry.A2, entry.A3});

    const float dayEnergy = words.word(kWordDayEnergy);
    if (row == 0) {
        LiveReadings& l = store_.live;
        l.V1 = entry.V1;
        l.V2 = entry.V2;
        l.V3 = entry.V3;
        l.A1 = entry.A1;
        l.A2 = entry.A2;
        l.A3 = entry.A3;
        l.W1 = l.V1 * l.A1 * kPowerFactor;
        l.W2 = l.V2 * l.A2 * kPowerFactor;
        l.W3 = l.V3 * l.A3 * kPowerFactor;
        l.Amp = l.A1 + l.A2 + l.A3;
        l.Watt = l.W1 + l.W2 + l.W3;
        l.KWh = dayEnergy;
        store_.calendar.DataFlag = 1;
    }
    if (minuteOfDay) {
        entry.TenMinuteSlots[*minuteOfDay / kMinutesPerSlot] = dayEnergy;
        if (*minuteOfDay > kDayFileMinute && entry.DayFileSaved == 0 && dayFileDue(row))
            saveDayFile(row, entry.Energy[0]);
        if (*minuteOfDay < kRearmMinute && dayFileDue(row)) {
            entry.DayFileSaved = 0;
            dayFiles_[row].failureReported = false;
        }
    }
    for (int i = 0; i < 12; ++i) entry.Energy[i] = words.word(kWordDayEnergy + i);
}

void MeterLink::updateHistories(MeterEntry& entry, const DataWords& words,
                                std::optional<int> hour) {
    const float dayEnergy = words.word(kWordDayEnergy);
    if (hour) entry.HourSlots[*hour] = HourSlot{dayEnergy, entry.VoltMean, entry.MaxAmp, 0.0f};

    const std::int32_t date = entry.MeterDate;
    updateDailyHistory(entry.DayHistory, kDayHistoryLimit, date, entry.VoltMean, &entry.Energy[0],
                       true);
    updateDailyHistory(entry.DayHistoryB, kDayHistoryBLimit, date, entry.VoltMean, &entry.Energy[4],
                       entry.Field23 == 0);

    History<50>& month = entry.MonthHistory;
    HistoryEntry& m0 = month.entries[0];
    if (m0.date == 0 || month.count == 0 ||
        (date > 0 && date / kMonthDivisor == m0.date / kMonthDivisor)) {
        m0.date = date;
        m0.voltMean = entry.VoltMean;
        std::copy(entry.Energy.begin() + 8, entry.Energy.end(), m0.energy.begin());
        if (month.count == 0) month.count = 1;
    } else if (m0.date > 0 && date > 0 &&
               date % kYearDivisor / kMonthDivisor != m0.date % kYearDivisor / kMonthDivisor &&
               month.count >= 1 && month.count <= kMonthHistoryLimit) {
        shiftDown(month);
        month.entries[0].date = date;
        month.entries[0].energy[0] = entry.Energy[8];
    }
}

bool MeterLink::dayFileDue(int row) const {
    const MeterEntry& entry = store_.registry.rows[row];
    const DayFileState& state = dayFiles_[row];
    if (state.writtenRealDay == 0 || state.meterId != entry.Id.view()) return true;
    const std::int32_t today = dateCode(clock_.now());
    // A meter without a valid date of its own gets one line per day of the computer's clock.
    if (entry.MeterDate <= 0) return today != state.writtenRealDay;
    // Meter days go forward. A date at or before the last one written counts as new only on
    // another day of the computer's clock, so a meter whose clock was set back still writes
    // while times and dates that jump to and fro cannot write the same day over and over.
    if (entry.MeterDate > state.writtenMeterDate) return true;
    return entry.MeterDate != state.writtenMeterDate && today != state.writtenRealDay;
}

void MeterLink::saveDayFile(int row, float previousDayEnergy) {
    MeterEntry& entry = store_.registry.rows[row];
    const std::string id(entry.Id.view());
    const std::string path = dayFilePath(workingDirectory_, id);
    const DayFileWrite result = appendDayFileLine(
        path, dayFileLine(entry.MeterDate, previousDayEnergy, entry.TenMinuteSlots));
    if (result.ok) {
        log_.append("HQ2 " + id + ": M10 Save File= [" + path + "] ");
        entry.DayFileSaved = 1;
        entry.DayFileCount += 1;
        log_.append("HQ2: [" + id + "] 10-Min= " + std::to_string(entry.DayFileCount) +
                    " Save OK !");
        std::fill(entry.TenMinuteSlots.begin(), entry.TenMinuteSlots.begin() + kTenMinuteSlotsUsed,
                  0.0f);
        DayFileState& state = dayFiles_[row];
        state.failureReported = false;
        state.meterId = id;
        state.writtenMeterDate = std::max(entry.MeterDate, 0);
        state.writtenRealDay = dateCode(clock_.now());
        return;
    }
    // The day stays armed: later messages before midnight try again, without repeating the report.
    if (dayFiles_[row].failureReported) return;
    dayFiles_[row].failureReported = true;
    log_.append("HQ2 " + id + ": M10 Save File= [" + path + "] ");
    log_.append("HQ2: [" + id + "] 10-Min Save fail: " + result.error + " !");
}

void MeterLink::logConnectLine(std::string_view id) {
    const std::string stamp = startupStamp(clock_.now());
    const std::string tail = currentIp_ + "  ID: " + std::string(id);
    log_.appendAlways(language_, stamp + " > HOQ Connect " + tail, stamp + " > HOQ 連線 " + tail);
}

void MeterLink::refuseMeter(std::string_view id) {
    if (!allowList_.reportRefusal(id, secondsOf(clock_.now()))) return;
    log_.append("HQ2: [" + std::string(id) + "] is not an allowed meter, its messages are ignored");
}

void MeterLink::clearHistoryCounts(MeterEntry& entry) {
    entry.DayHistory.count = 0;
    entry.DayHistoryB.count = 0;
    entry.MonthHistory.count = 0;
}

void MeterLink::forgetConnection() {
    currentId_.clear();
    currentIp_.clear();
}

void MeterLink::linkSwitchedOff() {
    store_.registry.MeterCount = 0;
    log_.append("TCP/IP OFF-Line !");
    log_.append(std::string());
    tones_.beep(kLinkOffBeepHz, kLinkBeepMs);
}

void MeterLink::linkSwitchedOn() {
    tones_.beep(kLinkOnBeepHz, kLinkBeepMs);
}

void MeterLink::m10SaveClick() {
    MeterRegistry& reg = store_.registry;
    for (int i = 0; i < reg.MeterCount; ++i) {
        reg.rows[i].DayFileCount = 0;
        log_.append("HQ2: [] 10-Min= 0 Save OK !");
    }
}

}  // namespace tev
