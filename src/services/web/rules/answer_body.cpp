#include "services/web/rules/answer_body.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "core/texts/json_text.h"

namespace tev::web {
namespace {

class TextBody final : public BodyWriter {
  public:
    explicit TextBody(std::string text) : text_(std::move(text)) {}
    bool next(std::string& out, std::size_t budget) override {
        const std::size_t n = std::min(std::max<std::size_t>(budget, 1), text_.size() - at_);
        out.append(text_, at_, n);
        at_ += n;
        return at_ < text_.size();
    }

  private:
    std::string text_;
    std::size_t at_ = 0;
};

// Rows are written in groups whose size follows the budget: the first group measures the
// bytes a row takes.
std::size_t rowsFor(std::size_t budget, std::size_t bytesPerRow) {
    return std::max<std::size_t>(1, budget / std::max<std::size_t>(bytesPerRow, 1));
}

class ArchiveCsvBody final : public BodyWriter {
  public:
    ArchiveCsvBody(archive::ArchiveSeries series, std::optional<archive::ExtraColumn> extra)
        : series_(std::move(series)), extra_(std::move(extra)) {}
    bool next(std::string& out, std::size_t budget) override {
        std::ostringstream text;
        const archive::ExtraColumn* extra = extra_ ? &*extra_ : nullptr;
        if (!headerDone_) {
            archive::writeTidyCsvHeader(series_, text, extra);
            headerDone_ = true;
        }
        const std::size_t rows = series_.time.size();
        while (row_ < rows && static_cast<std::size_t>(text.tellp()) < budget) {
            const std::size_t before = static_cast<std::size_t>(text.tellp());
            const std::size_t left = budget - before;
            const std::size_t end = std::min(rows, row_ + rowsFor(left, bytesPerRow_));
            archive::writeTidyCsvRows(series_, text, row_, end, extra);
            bytesPerRow_ = (static_cast<std::size_t>(text.tellp()) - before) / (end - row_) + 1;
            row_ = end;
        }
        out += std::move(text).str();
        return row_ < rows;
    }

  private:
    archive::ArchiveSeries series_;
    std::optional<archive::ExtraColumn> extra_;
    bool headerDone_ = false;
    std::size_t row_ = 0;
    std::size_t bytesPerRow_ = 64;
};

class ArchiveJsonBody final : public BodyWriter {
  public:
    ArchiveJsonBody(archive::ArchiveSeries series, std::string nameMember)
        : series_(std::move(series)), nameMember_(std::move(nameMember)) {}
    bool next(std::string& out, std::size_t budget) override {
        const std::size_t start = out.size();
        if (!headDone_) {
            std::ostringstream head;
            archive::writeSeriesJsonHead(series_, head);
            std::string text = std::move(head).str();
            // {"meter":"…","resolution":…: the name goes before the resolution.
            if (!nameMember_.empty()) text.insert(text.find(",\"resolution\":"), nameMember_);
            out += text;
            headDone_ = true;
        }
        const std::size_t rows = series_.time.size();
        // column_ -1 is the time, 0… the quantities, quantities.size() the end.
        const int columns = static_cast<int>(series_.quantities.size());
        while (column_ <= columns && out.size() - start < budget) {
            if (column_ == columns) {
                out += "}\n";
                ++column_;
                break;
            }
            if (!columnOpen_) {
                (out += ",\"") += series_.quantities[column_]->name;
                out += "\":[";
                columnOpen_ = true;
            }
            for (; index_ < rows && out.size() - start < budget; ++index_) {
                if (index_ > 0) out += ',';
                if (column_ < 0) {
                    out += std::to_string(series_.time[index_]);
                } else {
                    const std::string n = archive::numberText(series_.values[column_][index_]);
                    out += n.empty() ? "null" : n;
                }
            }
            if (index_ == rows) {
                out += ']';
                ++column_;
                index_ = 0;
                columnOpen_ = false;
            }
        }
        return column_ <= columns;
    }

  private:
    archive::ArchiveSeries series_;
    std::string nameMember_;  // ,"name":… or nothing
    bool headDone_ = false;
    bool columnOpen_ = true;  // the head opens the time column
    int column_ = -1;
    std::size_t index_ = 0;
};

}  // namespace

std::unique_ptr<BodyWriter> textBody(std::string text) {
    return std::make_unique<TextBody>(std::move(text));
}

std::unique_ptr<BodyWriter> archiveCsvBody(archive::ArchiveSeries series,
                                           std::optional<archive::ExtraColumn> extra) {
    return std::make_unique<ArchiveCsvBody>(std::move(series), std::move(extra));
}

std::unique_ptr<BodyWriter> archiveJsonBody(archive::ArchiveSeries series,
                                            const std::optional<std::string>* name) {
    std::string member;
    if (name != nullptr) {
        member = ",\"name\":";
        if (*name)
            appendJsonString(member, **name);
        else
            member += "null";
    }
    return std::make_unique<ArchiveJsonBody>(std::move(series), std::move(member));
}

void appendChunk(std::string& out, std::string_view data) {
    if (data.empty()) return;
    char size[20];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    out += size;
    out += data;
    out += "\r\n";
}

}  // namespace tev::web
