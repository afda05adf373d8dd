#include "history/recordlist.h"

#include "core/numbers.h"

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

int RecordListModel::widthTwips(int column)
{
    if (column == 0)
        return 1; // the always empty item text, all but hidden
    if (column == kModeColumn)
        return 600;
    if (column == kTimeColumn)
        return 800;
    return 700;
}

void RecordListModel::setWSUnits(const QString& units)
{
    m_WSUnits = units;
    emit headerDataChanged(Qt::Horizontal, kFirstValueColumn, kTimeColumn - 1);
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
    if (column == kModeColumn)
        return blank + QString::number(m_store.Mode[k]);
    if (column == kTimeColumn)
        return blank + timeText(m_store.Time[k]);
    if (column >= kFirstValueColumn && column < kTimeColumn) {
        const core::Quantity q = core::kLogged[std::size_t(column - kFirstValueColumn)];
        return blank + core::plainNumberText(m_store.Values[q][k]);
    }
    return {};
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
    if (section == kModeColumn)
        return QStringLiteral("Mode");
    if (section == kTimeColumn)
        return QStringLiteral("Time");
    if (section >= kFirstValueColumn && section < kTimeColumn) {
        const core::Quantity q = core::kLogged[std::size_t(section - kFirstValueColumn)];
        return core::unitText(core::facts(q).longUnit, m_WSUnits);
    }
    return QString();
}

} // namespace history
