#pragma once

#include <QFont>
#include <QRawFont>
#include <QStyledItemDelegate>
#include <array>

namespace tev {

// Paints a grid cell as the records grid shows it: its text at the left, clipped to the cell,
// on the grid's background or the selection colour. The grid's texts are numbers, dates and
// times, so their glyphs are looked up once and placed directly, without laying out and
// shaping every text on every paint as general item painting does.
class RecordCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    // The glyphs of the characters numbers are written with, for one font.
    struct NumberGlyphs {
        QFont font;
        QRawFont raw;
        std::array<quint32, 128> index{};
        std::array<qreal, 128> advance{};
        std::array<bool, 128> known{};
    };
    const NumberGlyphs& glyphsFor(const QFont& font) const;

    mutable NumberGlyphs glyphs_;
    mutable bool haveGlyphs_ = false;
};

}  // namespace tev
