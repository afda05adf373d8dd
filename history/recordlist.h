#pragma once

#include "historystore.h"

#include <QAbstractTableModel>
#include <vector>

namespace history {

// The record list's rows over the store: one row per position in view, each naming its slot.
// Texts are made only for the rows on screen, so a full day fills and scrolls at once.
class RecordListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Column 0 is the item's own text, always empty; then mode, the five values and the time.
    static constexpr int kColumns = 8;

    explicit RecordListModel(const HistoryStore& store, QObject* parent = nullptr);

    void showSlots(std::vector<int> rowSlots);
    void clear();
    // The title of the wind speed column: the unit of wind speed.
    void setWindTitle(const QString& title);

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
    QString m_windTitle;
};

} // namespace history
