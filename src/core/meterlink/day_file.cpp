#include "core/meterlink/day_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/settings/folder_files.h"
#include "core/texts/number_text.h"

namespace tev {
namespace {

constexpr char kFieldSeparator = ',';
constexpr char kLineEnd = '\r';

}  // namespace

std::string dayFileName(std::string_view meterId) {
    std::string name(kDayFilePrefix);
    name.append(meterId);
    name.append(kDayFileSuffix);
    return name;
}

std::string dayFilePath(const std::string& workingDirectory, std::string_view meterId) {
    return workingDirectory + "/" + dayFileName(meterId);
}

std::string dayFileLine(std::int32_t meterDate, float previousDayEnergy,
                        const std::array<float, kTenMinuteSlotCount>& slots) {
    std::string line = std::to_string(meterDate);
    line += kFieldSeparator;
    line += format2(previousDayEnergy);
    line += kFieldSeparator;
    for (int i = 0; i < kTenMinuteSlotsUsed; ++i) {
        line += format2(slots[i]);
        line += kFieldSeparator;
    }
    line += kLineEnd;
    return line;
}

DayFileWrite appendDayFileLine(const std::string& path, std::string_view line) {
    DayFileWrite result;
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        result.error = errno != 0 ? std::strerror(errno) : "cannot open";
        return result;
    }
    // Append mode puts the whole line at the end; a short write (full disk) or a failed flush
    // is reported rather than counted as saved.
    errno = 0;
    const std::size_t written = std::fwrite(line.data(), 1, line.size(), file);
    const bool flushed = std::fflush(file) == 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written != line.size() || !flushed || !closed) {
        const int code = writeErrno != 0 ? writeErrno : errno;
        result.error = code != 0 ? std::strerror(code) : "write failed";
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace tev
