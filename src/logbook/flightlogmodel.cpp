#include "flightlogmodel.h"

#include "clslogentry.h"
#include "flightstats.h"
#include "modfunctions.h"

#include <QScopeGuard>

#include <algorithm>

namespace {
const QString kNewFlightSelector = QStringLiteral("*");
}

FlightLogModel::FlightLogModel(LogTable& table, QObject* parent) : QAbstractTableModel(parent), m_table(table)
{
    recountFlightTime();
}

int FlightLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : tableRows() + 1;
}

int FlightLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : LogTable::kColumnCount;
}

QVariant FlightLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (isNewFlightRow(index.row()))
        return QString();
    return m_table.cellText(index.row(), index.column());
}

QVariant FlightLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return columnHeading(section);
    // Row selectors are blank; the new-flight row is marked as in most grids.
    return isNewFlightRow(section) ? kNewFlightSelector : QString();
}

Qt::ItemFlags FlightLogModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool FlightLogModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const QString text = value.toString();
    const int row = index.row();
    if (isNewFlightRow(row)) {
        if (text.isEmpty())
            return false;
        // The row being typed stays where the editor is; a new empty row appears below it.
        beginInsertRows(QModelIndex(), row + 1, row + 1);
        m_table.resize(m_table.rowCount() + 1);
        m_table.setCellText(row, index.column(), text);
        m_totalHours += flightHoursOf(row);
        endInsertRows();
        emit headerDataChanged(Qt::Vertical, row, row + 1);
    } else {
        if (m_table.cellText(row, index.column()) == text)
            return true;
        const double oldHours = flightHoursOf(row);
        m_table.setCellText(row, index.column(), text);
        m_totalHours += flightHoursOf(row) - oldHours;
    }
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    emit changedByUser();
    return true;
}

void FlightLogModel::changeWholeTable(const std::function<void(LogTable&)>& change)
{
    beginResetModel();
    const auto tellViews = qScopeGuard([this] {
        recountFlightTime();
        endResetModel();
    });
    change(m_table);
}

void FlightLogModel::reorderTable(const std::function<LogTable::RowMoves(LogTable&)>& change)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const auto tellViews = qScopeGuard([this] { emit layoutChanged({}, QAbstractItemModel::VerticalSortHint); });
    const LogTable::RowMoves moves = change(m_table);
    if (moves.empty())
        return;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        const bool moved = index.row() < tableRows();   // the new-flight row stays last
        after << (moved ? createIndex(int(moves[std::size_t(index.row())]), index.column()) : index);
    }
    changePersistentIndexList(before, after);
}

qsizetype FlightLogModel::appendRow(const std::array<QString, LogTable::kColumnCount>& cells)
{
    const int row = tableRows();
    beginInsertRows(QModelIndex(), row, row);
    const auto tellViews = qScopeGuard([this] { endInsertRows(); });
    m_table.resize(row + 1);
    for (int column = 0; column < LogTable::kColumnCount; ++column)
        m_table.setCellText(row, column, cells[column]);
    m_totalHours += flightHoursOf(row);
    return row;
}

qsizetype FlightLogModel::removeTableRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int row) { return row < 0 || row >= tableRows(); });

    // From the bottom up, one contiguous run at a time, so earlier indexes stay valid.
    qsizetype removed = 0;
    for (qsizetype i = rows.size() - 1; i >= 0;) {
        const int last = rows[i];
        int first = last;
        while (i > 0 && rows[i - 1] == first - 1)
            first = rows[--i];
        --i;
        removeRange(first, last);
        removed += last - first + 1;
    }
    return removed;
}

void FlightLogModel::removeRange(int first, int last)
{
    beginRemoveRows(QModelIndex(), first, last);
    const auto tellViews = qScopeGuard([this] { endRemoveRows(); });
    double removedHours = 0.0;
    for (int row = first; row <= last; ++row)
        removedHours += flightHoursOf(row);
    m_table.removeRows(first, last - first + 1);
    m_totalHours -= removedHours;
}

void FlightLogModel::recountFlightTime()
{
    m_totalHours = ::totalFlightTime(m_table);
}

double FlightLogModel::flightHoursOf(qsizetype row) const
{
    return flightHours(m_table.cell(row, clsLogEntry::FLIGHT_TIME_FIELD));
}
