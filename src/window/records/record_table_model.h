#pragma once

#include <QAbstractTableModel>

#include "core/recordsio/record_grid.h"

namespace tev {

// The records grid as a table model: the grid's header row is the view's horizontal header,
// its rows 1 … n are the model's rows 0 … n-1. Texts are formatted when the view asks for
// them, so a refresh of 8000 rows copies the table once and creates no item objects.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit RecordTableModel(QObject* parent = nullptr);

    // Replaces the whole grid, as a refresh does.
    void setGrid(RecordGrid grid);
    const RecordGrid& grid() const { return grid_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    RecordGrid grid_;
};

}  // namespace tev
