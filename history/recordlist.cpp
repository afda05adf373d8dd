#include "recordlist.h"

#include "chartgeometry.h"

namespace history {

RecordListModel::RecordListModel(const HistoryStore& store, QObject* parent)
    : QAbstractTableModel(parent)
    , m_store(store)
{}

void RecordListModel::showSlots(std::vector<int> rowSlots)
{
    beginResetModel();
    m_slots = std::move(rowSlots);
    endResetModel();
}

void RecordListModel::clear()
{
    if (m_slots.empty())
        return;
    beginResetModel();
    m_slots.clear();
    endResetModel();
}

void RecordListModel::setWindTitle(const QString& title)
{
    m_windTitle = title;
    emit headerDataChanged(Qt::Horizontal, 6, 6);
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_slots.size());
}

int RecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QString RecordListModel::cellText(int row, int column) const
{
    if (row < 0 || row >= int(m_slots.size()))
        return {};
    const int k = m_slots[std::size_t(row)];
    const QString blank = QStringLiteral(" ");
    switch (column) {
    case 1:
        return blank + QString::number(m_store.Mode[k]);
    case 2:
        return blank + plainNumberText(m_store.Volts[k]);
    case 3:
        return blank + plainNumberText(m_store.Amps[k]);
    case 4:
        return blank + plainNumberText(m_store.Watts[k]);
    case 5:
        return blank + plainNumberText(m_store.Rpm[k]);
    case 6:
        return blank + plainNumberText(m_store.WindSpeed[k]);
    case 7:
        return blank + timeText(m_store.Time[k]);
    default:
        return {};
    }
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return cellText(index.row(), index.column());
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    switch (section) {
    case 1:
        return QStringLiteral("Mode");
    case 2:
        return QStringLiteral("Volts");
    case 3:
        return QStringLiteral("Amps");
    case 4:
        return QStringLiteral("Watts");
    case 5:
        return QStringLiteral("RPM");
    case 6:
        return m_windTitle;
    case 7:
        return QStringLiteral("Time");
    default:
        return QString();
    }
}

} // namespace history
