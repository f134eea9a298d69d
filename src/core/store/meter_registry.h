#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tev {

// A zero-padded byte string of fixed slot size, of which at most `Kept` bytes are used.
template <int Slot, int Kept>
struct FixedText {
    static_assert(Kept <= Slot);
    static constexpr int kSlot = Slot;
    static constexpr int kKept = Kept;
    std::array<char, Slot> bytes{};

    // Stores text cut to the kept length, zero-padding the rest of the slot.
    void assign(std::string_view text) {
        bytes.fill(0);
        const std::size_t n = text.size() < static_cast<std::size_t>(Kept) ? text.size() : Kept;
        for (std::size_t i = 0; i < n; ++i) bytes[i] = text[i];
    }
    void clear() { bytes.fill(0); }
    // The text up to its first zero byte, at most the kept length.
    std::string_view view() const {
        std::size_t n = 0;
        while (n < static_cast<std::size_t>(Kept) && bytes[n] != 0) ++n;
        return {bytes.data(), n};
    }
    bool empty() const { return bytes[0] == 0; }
};

struct HourSlot {
    float dayEnergy = 0, voltMean = 0, maxAmp = 0, spare = 0;
};

struct HistoryEntry {
    std::int32_t date = 0;
    float voltMean = 0;
    std::array<float, 4> energy{};  // four consecutive Energy[] values of the meter
};

template <int Capacity>
struct History {
    std::int32_t count = 0;
    std::array<HistoryEntry, Capacity> entries{};
};

inline constexpr int kMeterIdLength = 12;
inline constexpr int kTenMinuteSlotCount = 150;
inline constexpr int kTenMinuteSlotsUsed = 144;
inline constexpr int kHourSlotCount = 60;
inline constexpr int kPendingLength = 210;

// One meter known by its 12-character ID, with its last values and small histories.
struct MeterEntry {
    FixedText<20, kMeterIdLength> Id;
    FixedText<20, 18> IpAddr;
    FixedText<32, 30> Model;
    FixedText<82, 80> Proj;
    FixedText<22, 20> Tag;
    std::int32_t Cfg1 = 0, Cfg3 = 0;
    std::array<float, 15> Param{};
    std::int32_t MeterDate = 0;
    std::int32_t Secs = 0;
    float Field4 = 0, Field5 = 0, Field6 = 0;
    float V1 = 0, V2 = 0, V3 = 0;
    float A1 = 0, A2 = 0, A3 = 0;
    float VoltMean = 0;
    float MaxAmp = 0;
    std::array<float, 12> Energy{};
    std::int32_t Field22 = 0, Field23 = 0, Field24 = 0, Field25 = 0;
    std::int32_t Adc1 = 0, Adc2 = 0, Adc3 = 0;
    FixedText<20, 20> AdcText1, AdcText2, AdcText3;
    FixedText<kPendingLength, kPendingLength> Pending;
    std::array<std::int32_t, 7> Spare{};  // never set; exported as zeros
    std::array<float, kTenMinuteSlotCount> TenMinuteSlots{};
    std::int32_t DayFileSaved = 0;
    std::int32_t DayFileCount = 0;
    std::array<HourSlot, kHourSlotCount> HourSlots{};
    History<200> DayHistory;
    History<60> DayHistoryB;  // the update rules fill at most 50
    History<50> MonthHistory;
};

inline constexpr int kMeterRegistryCapacity = 200;

// Up to 200 meters in order of first appearance; row 0 is the primary meter.
struct MeterRegistry {
    std::int32_t MeterCount = 0;
    std::array<MeterEntry, kMeterRegistryCapacity> rows{};

    // Row index of the meter with this ID among rows 0 … MeterCount-1, or -1.
    int find(std::string_view id) const {
        for (int i = 0; i < MeterCount; ++i)
            if (rows[i].Id.view() == id.substr(0, kMeterIdLength)) return i;
        return -1;
    }
};

}  // namespace tev
