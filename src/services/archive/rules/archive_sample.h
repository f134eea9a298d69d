#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tev::archive {

inline constexpr int kArchiveIdLength = 12;

// What the archive keeps of one handled data message: a fixed-size copy, so that handing it
// from the meter link's thread to the writer needs no allocation.
struct ArchiveSample {
    std::array<char, kArchiveIdLength> id{};
    std::uint8_t idLength = 0;
    std::int64_t unixSeconds = 0;
    std::array<float, 3> volts{};
    std::array<float, 3> amps{};
    float dayEnergy = 0;  // the meter's day energy, kWh

    void setId(std::string_view text) {
        idLength = static_cast<std::uint8_t>(text.size() < id.size() ? text.size() : id.size());
        for (std::size_t i = 0; i < idLength; ++i) id[i] = text[i];
    }
    std::string_view idView() const { return {id.data(), idLength}; }
};

}  // namespace tev::archive
