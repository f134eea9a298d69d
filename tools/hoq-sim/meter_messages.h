#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tev::sim {

// Texts of the HOQ meter protocol as a meter writes them. Every builder returns the message
// without its terminator; the caller appends the line end it sends (kCrLf by default).
inline constexpr std::string_view kCrLf = "\r\n";
inline constexpr int kIdLength = 12;
inline constexpr int kDataWordCount = 25;
inline constexpr int kDeviceWordCount = 19;

// "HQ2 " + ID: the meter's keep-alive.
std::string buildPoll(std::string_view id);

// The description a meter sends when it connects. `model` is "HOQ-260" or "HOQ-250".
struct DeviceInfo {
    std::string model = "HOQ-260";
    std::string id;
    std::string modelText = "HOQ-260 3P";
    std::string project = "Home";
    int cfg1 = 1;
    int word2 = 0;
    int cfg3 = 3;
    std::array<double, 15> params{};
    std::string tag = "SIM";
};
std::string buildDeviceMessage(const DeviceInfo& info);

// One reading: words 1-3 voltages, 4-6 meter values, 7-9 currents, 10 the day energy,
// 11-21 further energy values (decimals), 22-25 integers.
struct DataWords {
    std::array<double, 21> decimals{};
    std::array<int, 4> integers{};
};

// "HOQ-260", two free characters, the ID at 10-21, " IP=" + ip, "[meterDate]" inside
// characters 30-54, "<secs>" inside 34-69, then each data word followed by one space.
std::string buildDataMessage(std::string_view id, std::string_view ip, int meterDate, int secs,
                             const DataWords& words);

// "HQ2 SYS ADC " + ID + separator + six fields, each closed by an underscore.
struct AdcFields {
    int adc1 = 0;
    double adc2 = 0, adc3 = 0;
    std::string text1, text2, text3;
};
std::string buildAdcReport(std::string_view id, const AdcFields& fields);

// A 12-character meter ID for meter number `index` of a simulated group.
std::string meterId(std::string_view prefix, int index);

}  // namespace tev::sim
