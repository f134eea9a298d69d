// The records file decoder on any bytes: it must stay inside the image and the store, leave
// every row count within its table, and say the image was complete only when it was.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/persistence/records_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto store = std::make_unique<tev::MeasurementStore>();
    const tev::RecordsDecodeReport report =
        tev::decodeRecords(std::span<const std::uint8_t>(data, size), *store);
    if (report.bytesUsed > size) __builtin_trap();
    if (report.complete != (size >= tev::kRecordsFileSize)) __builtin_trap();
    for (int i = 0; i < tev::kScaleCount; ++i) {
        const tev::ScaleTable& t = store->tableAt(i);
        if (t.cnt < 0 || t.cnt >= t.rowSlots()) __builtin_trap();
    }
    return 0;
}
