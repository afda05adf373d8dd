#pragma once

#include "core/quantities.h"
#include "history/historystore.h"

#include <QAbstractTableModel>
#include <vector>

namespace history {

// The record list's rows over the store: one row per position in view, each naming its slot.
// Texts are made only for the rows on screen, so a full day fills and scrolls at once.
class RecordListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Column 0 is the item's own text, always empty; then the mode, one column per logged
    // quantity in the quantity table's order, and the time.
    static constexpr int kModeColumn = 1;
    static constexpr int kFirstValueColumn = 2;
    static constexpr int kTimeColumn = kFirstValueColumn + int(core::kLogged.size());
    static constexpr int kColumns = kTimeColumn + 1;
    // A column's width as laid out, in twips.
    static int widthTwips(int column);

    explicit RecordListModel(const HistoryStore& store, QObject* parent = nullptr);

    void showSlots(std::vector<int> rowSlots);
    void clear();
    // The unit of wind speed the user typed, the title of its column.
    void setWSUnits(const QString& units);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The text of one cell, as shown.
    QString cellText(int row, int column) const;

private:
    const HistoryStore& m_store;
    std::vector<int> m_slots;
    QString m_WSUnits;
};

} // namespace history
