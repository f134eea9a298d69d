#include "tools/hoq-sim/meter_messages.h"

#include <cstdio>

namespace tev::sim {

namespace {

// The first character (1-based) of the window in which the application looks for "[date]".
constexpr std::size_t kDateWindowStart = 30;
// Words of a data message: voltages with one decimal, meter values and currents with two,
// energies with three.
constexpr int kVoltageDecimals = 1;
constexpr int kCurrentDecimals = 2;
constexpr int kEnergyDecimals = 3;
constexpr int kParamDecimals = 2;

std::string fixed(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

// A meter writes its ID as exactly 12 characters.
std::string idField(std::string_view id) {
    std::string out(id.substr(0, kIdLength));
    out.resize(kIdLength, '0');
    return out;
}

int decimalsOfWord(int word) {
    if (word <= 3) return kVoltageDecimals;
    if (word <= 9) return kCurrentDecimals;
    return kEnergyDecimals;
}

}  // namespace

std::string buildPoll(std::string_view id) {
    return "HQ2 " + idField(id);
}

std::string buildDeviceMessage(const DeviceInfo& info) {
    std::string m = info.model + " PWR " + idField(info.id);
    m += " [" + info.modelText + "] <" + info.project + ">";
    m += " " + std::to_string(info.cfg1);
    m += " " + std::to_string(info.word2);
    m += " " + std::to_string(info.cfg3);
    for (double p : info.params) m += " " + fixed(p, kParamDecimals);
    m += " " + info.tag;
    return m;
}

std::string buildDataMessage(std::string_view id, std::string_view ip, int meterDate, int secs,
                             const DataWords& words) {
    std::string m = "HOQ-260  " + idField(id) + " IP=" + std::string(ip) + " ";
    // Short addresses are padded so that "[date]" starts inside its window.
    if (m.size() + 1 < kDateWindowStart) m.resize(kDateWindowStart - 1, ' ');
    m += "[" + std::to_string(meterDate) + "] <" + std::to_string(secs) + "> ";
    for (int w = 1; w <= static_cast<int>(words.decimals.size()); ++w)
        m += fixed(words.decimals[w - 1], decimalsOfWord(w)) + " ";
    for (int v : words.integers) m += std::to_string(v) + " ";
    return m;
}

std::string buildAdcReport(std::string_view id, const AdcFields& fields) {
    std::string m = "HQ2 SYS ADC " + idField(id) + " ";
    m += std::to_string(fields.adc1) + "_";
    m += fixed(fields.adc2, kParamDecimals) + "_";
    m += fixed(fields.adc3, kParamDecimals) + "_";
    m += fields.text1 + "_" + fields.text2 + "_" + fields.text3 + "_";
    return m;
}

std::string meterId(std::string_view prefix, int index) {
    char digits[16];
    const int width = kIdLength - static_cast<int>(prefix.size());
    std::snprintf(digits, sizeof digits, "%0*d", width > 0 ? width : 0, index);
    std::string id = std::string(prefix) + digits;
    // Keeps the distinguishing digits when a long prefix would push them out.
    if (id.size() > static_cast<std::size_t>(kIdLength)) id = id.substr(id.size() - kIdLength);
    return id;
}

}  // namespace tev::sim
