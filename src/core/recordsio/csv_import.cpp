#include "core/recordsio/csv_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/persistence/atomic_file.h"
#include "core/recordsio/fixed_text.h"

namespace tev {

namespace {

constexpr std::size_t kMinNameLength = 15;  // longer than 14 characters
constexpr std::string_view kCsvEnding = "csv";
constexpr std::size_t kDateChars = 6;
constexpr std::size_t kFirstValueOffset = 7;  // after "YYMMDD,"
constexpr int kSlotMinutes = 10;

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number with a point as separator and an optional exponent; blanks around it are
// allowed, nothing else (no "inf", no "nan", nothing a float cannot hold).
bool parseValue(std::string_view text, float& out) {
    std::string_view t = trimBlanks(text);
    if (t.size() > 1 && t.front() == '+' && t[1] != '-') t.remove_prefix(1);
    if (t.empty()) return false;
    const std::size_t first = t.front() == '-' ? 1 : 0;
    if (first >= t.size() || !(isDigit(t[first]) || t[first] == '.')) return false;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size()) return false;
    if (!(std::fabs(v) <= FLT_MAX)) return false;
    out = static_cast<float>(v);
    return true;
}

bool parseDate(std::string_view text, std::int32_t& out) {
    std::string_view t = trimBlanks(text);
    if (t.size() > 1 && t.front() == '+' && t[1] != '-') t.remove_prefix(1);
    if (t.empty()) return false;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return ec == std::errc() && ptr == t.data() + t.size();
}

// YYMMDD of a day that exists, in the years 2000 to 2099 the date codes stand for. The
// roll-up and the grid read years, months and days out of the code.
bool isCalendarDate(std::int32_t code) {
    constexpr std::int32_t kCentury = 2000;
    if (code < 0) return false;
    const int year = kCentury + code / 10000;
    const int month = code / 100 % 100;
    const int day = code % 100;
    if (month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The event-log memo's cut: at most kImportMaxLogLineBytes bytes, never inside a character.
void shortenLogLine(std::string& line) {
    if (line.size() <= kImportMaxLogLineBytes) return;
    std::size_t cut = kImportMaxLogLineBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
    line += "…";
}

// The header of value k (from 1): "0:0", "0:10", … "23:50".
std::string slotColumn(int k) {
    std::string text;
    appendTimeOfDay(text, (k - 1) * kSlotMinutes);
    return text;
}

std::string lastThree(std::string_view name) {
    return std::string(name.substr(name.size() >= 3 ? name.size() - 3 : 0));
}

std::string bracketed(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 2);
    line += '<';
    line += text;
    line += '>';
    return line;
}

// Reads the day lines from the scan start on into `csv`.
void readDayLines(std::string_view content, TenMinuteCsv& csv) {
    csv.status = ImportStatus::NoDayLines;
    if (content.size() <= kImportScanStart) return;
    const std::size_t skippedEnd = content.find('\n', kImportScanStart);
    if (skippedEnd == std::string_view::npos) return;
    int lineNumber =
        static_cast<int>(std::count(content.begin(), content.begin() + skippedEnd + 1, '\n')) + 1;
    std::size_t logged = 0;
    std::size_t unlogged = 0;
    std::array<float, kImportValuesPerDay> values{};
    double magnitudes = 0;
    for (std::size_t pos = skippedEnd + 1;; ++lineNumber) {
        const std::size_t end = content.find('\n', pos);
        if (end == std::string_view::npos) break;
        const std::string_view line = content.substr(pos, end - pos);
        pos = end + 1;
        if (logged < kImportMaxLoggedLines) {
            csv.log.push_back(bracketed(line));
            ++logged;
        } else {
            ++unlogged;
        }
        if (line.size() < kImportMinDayLine || line[kDateChars] != ',') continue;

        std::int32_t date = 0;
        const bool number = parseDate(line.substr(0, kDateChars), date);
        if (!number || !isCalendarDate(date)) {
            csv.status = ImportStatus::BadNumber;
            csv.problem = {lineNumber, 1, "Date", std::string(line.substr(0, kDateChars))};
            if (number) csv.problem.what = "is not a calendar date (YYMMDD)";
            csv.samples.clear();
            return;
        }
        // Each value ends at its comma; what follows the last comma (a CR) is not a value.
        int count = 0;
        for (std::size_t p = kFirstValueOffset; count < kImportValuesPerDay;) {
            const std::size_t comma = line.find(',', p);
            if (comma == std::string_view::npos) break;
            const std::string_view field = line.substr(p, comma - p);
            const bool number = parseValue(field, values[count]);
            // The week and month rows sum the values as floats: the total of every magnitude
            // bounds any such sum.
            if (number) magnitudes += std::fabs(static_cast<double>(values[count]));
            if (!number || magnitudes > FLT_MAX) {
                csv.status = ImportStatus::BadNumber;
                csv.problem = {lineNumber, count + 2, slotColumn(count + 1), std::string(field)};
                if (number)
                    csv.problem.what = "would make the sums of the imported values overflow";
                csv.samples.clear();
                return;
            }
            ++count;
            p = comma + 1;
        }
        if (count == 0) continue;
        // The "0:0" column closes the day: it comes after the others, at minute count x 10.
        for (int k = 2; k <= count && csv.samples.size() < kImportMaxSamples; ++k)
            csv.samples.push_back({date, (k - 1) * kSlotMinutes, values[k - 1]});
        if (csv.samples.size() < kImportMaxSamples)
            csv.samples.push_back({date, count * kSlotMinutes, values[0]});
    }
    if (unlogged > 0)
        csv.log.push_back("> " + std::to_string(unlogged) + " more lines not logged ");
    if (!csv.samples.empty()) csv.status = ImportStatus::Samples;
}

}  // namespace

namespace {

TenMinuteCsv parseUnshortened(std::string_view fileName, std::int64_t fileSize,
                              std::string_view content) {
    TenMinuteCsv csv;
    csv.fileName = std::string(fileName);
    csv.fileSize = fileSize;
    csv.log.push_back(bracketed(fileName));
    if (fileName.size() < kMinNameLength || !fileName.ends_with(kCsvEnding)) {
        csv.log.push_back("> 檔案類型= <" + lastThree(fileName) + "> Not CSR File exit! ");
        csv.refusalTones = true;
        csv.status = ImportStatus::NotCsvName;
        return csv;
    }
    csv.log.push_back("> 檔案類型= <" + lastThree(fileName) + "> OK! ");
    const bool marked = fileName.find(kImportNameMark) != std::string_view::npos;
    if (marked)
        csv.log.push_back("> 檔案名稱= <" + std::string(kImportNameMark) + "> 10-Min Find OK! ");
    csv.log.push_back("> Read File: <" + csv.fileName + ">  ");
    const std::string size = std::to_string(fileSize);
    csv.log.push_back("> File Size= " + size);
    if (fileSize > kImportMaxFileSize) {
        csv.log.push_back("> File Size= " + size + " > Max. 12MB exit ! ");
        csv.refusalTones = true;
        csv.status = ImportStatus::TooLarge;
        return csv;
    }
    if (fileSize < 0) {
        csv.status = ImportStatus::Unreadable;
        return csv;
    }
    if (!marked) {
        csv.status = ImportStatus::NotTenMinuteName;
        return csv;
    }
    if (fileSize < kImportMinFileSize) {
        csv.status = ImportStatus::TooSmall;
        return csv;
    }
    if (content.starts_with(kImportHeaderStart))
        csv.log.push_back("> 辨識檔案內容為 HOQ 十分鐘檔內容 OK ! ");
    readDayLines(content, csv);
    return csv;
}

}  // namespace

TenMinuteCsv parseTenMinuteCsv(std::string_view fileName, std::int64_t fileSize,
                               std::string_view content) {
    TenMinuteCsv csv = parseUnshortened(fileName, fileSize, content);
    for (std::string& line : csv.log) shortenLogLine(line);
    return csv;
}

TenMinuteCsv readTenMinuteCsv(const std::string& path) {
    // Without O_NONBLOCK a named pipe would hold the program until someone writes to it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const std::string why = std::strerror(errno);
        TenMinuteCsv csv = parseTenMinuteCsv(path, -1, {});
        csv.readError = why;
        return csv;
    }
    struct stat info {};
    const bool statted = ::fstat(fd, &info) == 0;
    if (statted && !S_ISREG(info.st_mode)) {
        ::close(fd);
        TenMinuteCsv csv;
        csv.fileName = path;
        csv.log = {bracketed(path), "> " + path + " is not a regular file exit ! "};
        for (std::string& line : csv.log) shortenLogLine(line);
        csv.refusalTones = true;
        csv.status = ImportStatus::NotRegularFile;
        return csv;
    }
    std::int64_t size = statted ? static_cast<std::int64_t>(info.st_size) : -1;
    std::string content;
    std::string readError = statted ? std::string() : std::strerror(errno);
    const bool csvName = path.size() >= kMinNameLength && path.ends_with(kCsvEnding);
    if (csvName && size >= 0 && size <= kImportMaxFileSize) {
        const std::vector<std::uint8_t> bytes =
            readWholeDescriptor(fd, readError, static_cast<std::size_t>(kImportMaxFileSize));
        if (readError.empty())
            content.assign(bytes.begin(), bytes.end());
        else
            size = -1;
    }
    ::close(fd);
    TenMinuteCsv csv = parseTenMinuteCsv(path, size, content);
    csv.readError = readError;
    return csv;
}

std::string importRefusalText(const TenMinuteCsv& csv) {
    std::string why;
    switch (csv.status) {
        case ImportStatus::Samples:
            return {};
        case ImportStatus::NotCsvName:
            why = csv.fileName + " is not a ten-minute CSV file: its name must end in \"csv\".";
            break;
        case ImportStatus::TooLarge:
            why = csv.fileName + " holds " + std::to_string(csv.fileSize) + " bytes; at most " +
                  std::to_string(kImportMaxFileSize) + " bytes can be imported.";
            break;
        case ImportStatus::NotTenMinuteName:
            why = csv.fileName + " is not a ten-minute CSV file: its name does not contain \"" +
                  std::string(kImportNameMark) + "\".";
            break;
        case ImportStatus::Unreadable:
            why = csv.fileName + " could not be read" +
                  (csv.readError.empty() ? std::string() : ": " + csv.readError) + ".";
            break;
        case ImportStatus::NotRegularFile:
            why = csv.fileName +
                  " is not a regular file (a folder, a named pipe or a device); only a "
                  "ten-minute CSV file can be imported.";
            break;
        case ImportStatus::TooSmall:
            why = csv.fileName + " is too short to hold a day of ten-minute values.";
            break;
        case ImportStatus::NoDayLines:
            why = csv.fileName + " holds no day line of ten-minute values.";
            break;
        case ImportStatus::BadNumber:
            why = "Line " + std::to_string(csv.problem.line) + ", field " +
                  std::to_string(csv.problem.field) + " (" + csv.problem.column + ") of " +
                  csv.fileName + ": '" + csv.problem.text + "' " + csv.problem.what + ".";
            break;
    }
    return why + "\nNothing was imported; the recorded data is unchanged.";
}

}  // namespace tev
