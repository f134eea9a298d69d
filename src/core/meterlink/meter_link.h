#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/meterlink/meter_allow_list.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "platform/clock.h"
#include "platform/tone_sink.h"

namespace tev {

// What happened to the messages handed to a MeterLink, for tests and benchmarks.
struct MeterLinkCounters {
    std::uint64_t handled = 0;    // recognised and handled to the end
    std::uint64_t abandoned = 0;  // recognised, then given up at a field that did not convert
    std::uint64_t ignored = 0;    // of no known kind
};

// The meter protocol: recognises polls, ADC reports, device messages and data messages by
// their fixed positions, keeps the meter registry, feeds the primary meter's values into the
// live readings, writes the day files and the event-log lines, and beeps on new meters.
class MeterLink {
  public:
    // `language` is owned by the main window and may change at any time; `workingDirectory` is
    // where day files go.
    MeterLink(MeasurementStore& store, EventLog& log, ToneSink& tones, const Clock& clock,
              const LanguageMode& language, std::string workingDirectory);

    // Handles the text of one meter message; its last character is its terminator. Returns the
    // text to send back on the connection it came from (the Pending text answered to a poll;
    // usually empty). Never throws; any input leaves the link working.
    std::string handleMessage(std::string_view message);

    // The meters that belong here; device and data messages of others are ignored.
    void setAllowList(MeterAllowList allowList) { allowList_ = std::move(allowList); }

    // Whether the message handled last was a poll, ADC report, device or data message of a
    // meter that is in the registry now.
    bool lastMessageFromRegisteredMeter() const { return lastFromRegistered_; }
    // Whether the message handled last was a data message whose readings were taken: polls,
    // ADC reports and device messages carry no new readings.
    bool lastMessageWasData() const { return lastData_; }

    // The texts of the connection display and of the last device message.
    const std::string& currentId() const { return currentId_; }
    const std::string& currentIp() const { return currentIp_; }
    const std::string& currentModel() const { return currentModel_; }

    // The off-line alarm forgets which meter was connected.
    void forgetConnection();

    // Link switch off: the registry is emptied, the log says so, Beep(1200, 200).
    void linkSwitchedOff();
    // Link switch on: Beep(1500, 200).
    void linkSwitchedOn();

    // The hidden M10 Save command: every meter's day-file count back to 0.
    void m10SaveClick();

    const MeterLinkCounters& counters() const { return counters_; }

  private:
    // The device words after the project text: Cfg1, an unused integer, Cfg3, 15 parameters, Tag.
    struct DeviceWords {
        std::int32_t cfg1 = 0;
        std::int32_t cfg3 = 0;
        std::array<float, 15> param{};
    };

    // The 25 data words of a data message.
    struct DataWords {
        std::array<float, 21> decimals{};        // words 1 … 21
        std::array<std::int32_t, 4> integers{};  // words 22 … 25
        bool lastWordTaken = true;               // word 25 had its space before the terminator
        float word(int n) const { return decimals[n - 1]; }
    };

    enum class Result { Handled, Abandoned };

    Result handlePoll(std::string_view message, std::string& reply);
    Result handleAdcReport(std::string_view message);
    Result handleDeviceMessage(std::string_view message);
    Result handleDataMessage(std::string_view message);

    void registerFromDevice(int row, std::string_view id, bool fresh);
    void updateFromData(int row, std::string_view id, std::int32_t meterDate, std::int32_t secs,
                        const DataWords& words, std::optional<int> minuteOfDay);
    // The first data message of all: row 0 gets only what a data message registers.
    void assignDataFields(MeterEntry& entry, std::string_view id, std::int32_t meterDate,
                          std::int32_t secs, const DataWords& words);
    void registerPrimaryFromData(std::string_view id, std::int32_t meterDate, std::int32_t secs,
                                 const DataWords& words);
    void appendFromData(int row, std::string_view id, std::int32_t meterDate, std::int32_t secs,
                        const DataWords& words);
    void updateHistories(MeterEntry& entry, const DataWords& words, std::optional<int> hour);
    void saveDayFile(int row, float previousDayEnergy);
    // Whether the row's meter day has no line yet (re-arming and writing both wait for it).
    bool dayFileDue(int row) const;
    void logConnectLine(std::string_view id);
    // A device or data message of a meter that is not allowed: logged once an hour per ID.
    void refuseMeter(std::string_view id);
    void clearHistoryCounts(MeterEntry& entry);

    MeasurementStore& store_;
    EventLog& log_;
    ToneSink& tones_;
    const Clock& clock_;
    const LanguageMode& language_;
    std::string workingDirectory_;

    std::string currentId_;
    std::string currentIp_;
    std::string currentModel_;
    std::string currentProject_;
    std::string currentTag_;
    DeviceWords deviceWords_;

    // The day file of each row: which meter day it last got a line for, so that forged or
    // jumping times cannot write the same day twice, and whether a failure was reported (once
    // per meter day, then retried quietly).
    struct DayFileState {
        std::string meterId;
        std::int32_t writtenMeterDate = 0;  // 0 for a meter without a valid date
        std::int32_t writtenRealDay = 0;    // the computer's date code; 0 before the first line
        bool failureReported = false;
    };
    std::array<DayFileState, kMeterRegistryCapacity> dayFiles_{};

    MeterLinkCounters counters_;
    bool lastFromRegistered_ = false;
    bool lastData_ = false;
    MeterAllowList allowList_;
};

}  // namespace tev
