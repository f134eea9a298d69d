#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tev::archive {

enum class Resolution { Minute, Hour, Day };
std::string_view resolutionName(Resolution r);
bool parseResolution(std::string_view text, Resolution& r);

// One quantity of the archive's rows: its name in the series and the JSON, its unit (the tidy
// CSV's header is name_unit), and its column in the archive tables.
struct Quantity {
    std::string_view name;
    std::string_view unit;
    std::string_view column;
};
// Every quantity in the order of the export's columns.
const std::vector<Quantity>& archiveQuantities();
const Quantity* findQuantity(std::string_view name);

// Columnar rows of one meter, oldest first: `time` holds the period starts in Unix seconds and
// each column one value per time.
struct ArchiveSeries {
    std::string meter;
    Resolution resolution = Resolution::Hour;
    std::vector<std::int64_t> time;
    std::vector<const Quantity*> quantities;
    std::vector<std::vector<double>> values;  // values[q][row]
};

// A column written after the quantities, already as text: one cell per row ("" leaves it
// empty), e.g. the cost of each row under a tariff.
struct ExtraColumn {
    std::string header;
    std::vector<std::string> cells;
};

// The CSV pandas reads with no options: one header line with units, ISO 8601 local times with
// their offset, no trailing comma, no banner; `extra`, when given, is the last column.
void writeTidyCsv(const ArchiveSeries& series, std::ostream& out,
                  const ExtraColumn* extra = nullptr);
// {"meter":…,"resolution":…,"time":[unix seconds…],"V1":[…],…}
void writeSeriesJson(const ArchiveSeries& series, std::ostream& out);

// The same two texts in parts, for an answer written a slice at a time: the CSV's header line,
// then its rows [begin, end); the JSON up to and with its "time":[ (the rest is numberText).
void writeTidyCsvHeader(const ArchiveSeries& series, std::ostream& out,
                        const ExtraColumn* extra = nullptr);
void writeTidyCsvRows(const ArchiveSeries& series, std::ostream& out, std::size_t begin,
                      std::size_t end, const ExtraColumn* extra = nullptr);
void writeSeriesJsonHead(const ArchiveSeries& series, std::ostream& out);

// A number as the CSV and JSON write it: shortest text that reads back the same, at most
// six decimals.
std::string numberText(double value);

}  // namespace tev::archive
