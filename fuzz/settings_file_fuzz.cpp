// The settings file loader on any bytes: whole fields only, the rest left as it was, and after
// the load steps every remembered span positive, a valid language and a span taken only from a
// valid scale.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "core/persistence/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The store is large; one serves every input, with the values the loader reads reset.
    static const auto store = std::make_unique<tev::MeasurementStore>();
    store->live = tev::LiveReadings{};
    store->calendar = tev::Calendar{};
    store->calendar.StartDayCode = store->calendar.TodayCode = 240802;
    tev::ViewState view;
    tev::SettingsValues values = tev::collectSettings(*store, view, 3);
    const tev::SettingsValues before = values;
    const std::size_t fields =
        tev::decodeSettings(std::span<const std::uint8_t>(data, size), values);
    if (fields != std::min<std::size_t>(size / 4, tev::kSettingsFieldCount)) __builtin_trap();
    if (fields == 0 && !(values == before)) __builtin_trap();
    const std::int32_t mode = tev::repairedLanguageMode(values.languageMode);
    if (mode < 1 || mode > 3) __builtin_trap();

    tev::placeSettings(values, *store, view);
    std::optional<std::int32_t> storedDay;
    if (fields >= 5) storedDay = values.StartDayCode;
    tev::finishSettingsLoad(storedDay, *store, view);
    for (const tev::ChartChannel& ch : view.channels) {
        for (int span : ch.spanPerScale)
            if (span <= 0) __builtin_trap();
        if (tev::isValidScale(static_cast<int>(ch.timeScale)) &&
            ch.span != ch.spanPerScale[tev::scaleIndex(ch.timeScale)])
            __builtin_trap();
    }
    if (store->calendar.WeekStartCode == 0) __builtin_trap();

    // What is loaded saves back to the same bytes.
    const auto image = tev::encodeSettings(tev::collectSettings(*store, view, values.languageMode));
    if (image.size() != tev::kSettingsFileSize) __builtin_trap();
    return 0;
}
