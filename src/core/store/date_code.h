#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace tev {

// The date codes the records file keys its rows by; the event log's stamps use them too.

// (year % 2000) x 10000 + month x 100 + day: 2 August 2024 gives 240802.
constexpr std::int32_t dateCode(int year, int month, int day) {
    return (year % 2000) * 10000 + month * 100 + day;
}
constexpr std::int32_t dateCode(const DateTime& t) {
    return dateCode(t.year, t.month, t.day);
}

// (year % 2000) x 100 + month, the code of a Month row.
constexpr std::int32_t monthCode(int year, int month) {
    return (year % 2000) * 100 + month;
}

}  // namespace tev
