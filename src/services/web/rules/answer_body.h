#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "services/archive/rules/series.h"

namespace tev::web {

// A body written a slice at a time as the client reads it, so that a big answer (an archive
// CSV of a year of minutes, a long series) never lies whole in memory, and never once per
// request a client has queued up.
class BodyWriter {
  public:
    virtual ~BodyWriter() = default;
    // Appends the next slice, about `budget` bytes (whole rows, so a little more may come);
    // true while more is to come, false once this was the last slice.
    virtual bool next(std::string& out, std::size_t budget) = 0;
};

// A text already built, handed out in slices.
std::unique_ptr<BodyWriter> textBody(std::string text);

// One meter's archive rows as the tidy CSV (archive::writeTidyCsv) and as the series JSON
// (archive::writeSeriesJson), byte for byte the same, made a few rows at a time.
std::unique_ptr<BodyWriter> archiveCsvBody(archive::ArchiveSeries series,
                                           std::optional<archive::ExtraColumn> extra);
// With `name`, the JSON gains "name" after "meter": the name it points at, or null.
std::unique_ptr<BodyWriter> archiveJsonBody(archive::ArchiveSeries series,
                                            const std::optional<std::string>* name = nullptr);

// The chunked transfer coding of HTTP/1.1: one chunk ("1a2b\r\n" data "\r\n"; nothing for empty
// data, which would end the body) and the last chunk.
void appendChunk(std::string& out, std::string_view data);
inline constexpr std::string_view kLastChunk = "0\r\n\r\n";

}  // namespace tev::web
