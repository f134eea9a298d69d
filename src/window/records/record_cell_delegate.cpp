#include "window/records/record_cell_delegate.h"

#include <QGlyphRun>
#include <QPainter>
#include <QVarLengthArray>

namespace tev {

namespace {

// The gap between a cell's left edge and its text.
constexpr int kTextIndent = 2;
constexpr QLatin1StringView kNumberCharacters{"0123456789.:- "};
constexpr int kLongestFastText = 32;

}  // namespace

const RecordCellDelegate::NumberGlyphs& RecordCellDelegate::glyphsFor(const QFont& font) const {
    if (haveGlyphs_ && glyphs_.font == font) return glyphs_;
    glyphs_ = NumberGlyphs{};
    glyphs_.font = font;
    glyphs_.raw = QRawFont::fromFont(font);
    if (glyphs_.raw.isValid()) {
        const QString characters(kNumberCharacters);
        const QList<quint32> indexes = glyphs_.raw.glyphIndexesForString(characters);
        const QList<QPointF> advances = glyphs_.raw.advancesForGlyphIndexes(indexes);
        for (qsizetype i = 0; i < characters.size() && i < indexes.size(); ++i) {
            if (indexes[i] == 0) continue;  // no glyph: such texts go the general way
            const auto c = static_cast<unsigned char>(characters[i].toLatin1());
            glyphs_.index[c] = indexes[i];
            glyphs_.advance[c] = advances[i].x();
            glyphs_.known[c] = true;
        }
    }
    haveGlyphs_ = true;
    return glyphs_;
}

void RecordCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(option.rect, option.palette.highlight());
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;
    const QRect& cell = option.rect;
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                             : option.palette.color(QPalette::Text));

    const NumberGlyphs& g = glyphsFor(option.font);
    QVarLengthArray<quint32, kLongestFastText> glyphIndexes;
    QVarLengthArray<QPointF, kLongestFastText> positions;
    bool fast = g.raw.isValid() && text.size() <= kLongestFastText;
    qreal x = 0;
    for (qsizetype i = 0; fast && i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= g.known.size() || !g.known[c]) {
            fast = false;
            break;
        }
        glyphIndexes.append(g.index[c]);
        positions.append(QPointF(x, 0));
        x += g.advance[c];
    }

    const QFontMetrics& metrics = option.fontMetrics;
    const int baseline = cell.top() + (cell.height() + metrics.ascent() - metrics.descent()) / 2;
    const QPoint origin(cell.left() + kTextIndent, baseline);
    // Only a text wider than its cell needs the clip, as the grid cuts it at the cell's edge.
    const bool clip = !fast || x > cell.width() - kTextIndent;
    if (clip) {
        painter->save();
        painter->setClipRect(cell, Qt::IntersectClip);
    }
    if (fast) {
        QGlyphRun run;
        run.setRawFont(g.raw);
        run.setRawData(glyphIndexes.constData(), positions.constData(), glyphIndexes.size());
        painter->drawGlyphRun(origin, run);
    } else {
        painter->setFont(option.font);
        painter->drawText(origin, text);
    }
    if (clip) painter->restore();
}

}  // namespace tev
