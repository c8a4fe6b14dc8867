#pragma once

#include "logtable.h"

#include <QAbstractTableModel>
#include <QList>

#include <array>
#include <functional>

// Column widths of the grid, in twips; the printed page shares its width in the same proportions.
inline constexpr std::array<int, LogTable::kColumnCount> kColumnWidthsTwips{
    1000, 800, 1000, 900, 800, 800, 900, 900, 800, 800, 900, 800, 800, 800};

// The flight log grid's model: a thin view of the panel's LogTable (cells are
// read from it when painted, never copied), plus one empty row at the bottom
// where a new flight is typed. Values arrive here already checked. Every
// change of the table goes through the model, which keeps the total flight
// time up to date as rows change, so that an edit of a large log does not
// read every Time cell again.
class FlightLogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The table is not owned and must outlive the model.
    explicit FlightLogModel(LogTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A text typed into the empty bottom row adds a flight; an empty one does not.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The empty row for a new flight (always the last row of the model).
    bool isNewFlightRow(int row) const { return row == tableRows(); }

    // Runs `change` on the table and makes the views re-read all of it
    // (load, clear). The views are told even when `change` throws.
    void changeWholeTable(const std::function<void(LogTable&)>& change);
    // The same for a change that only moves whole rows (a sort), which
    // returns where they went: the total stays, and the selection and current
    // cell move with their rows instead of starting afresh.
    void reorderTable(const std::function<LogTable::RowMoves(LogTable&)>& change);
    // Appends a row of 14 texts; returns its index. Not a change by the user.
    qsizetype appendRow(const std::array<QString, LogTable::kColumnCount>& cells);
    // Removes the given table rows (any order; the new-flight row and
    // duplicates are passed over); returns how many went.
    qsizetype removeTableRows(QList<int> rows);

    // The sum of the numeric Time cells of every row.
    double totalFlightTime() const { return m_totalHours; }
    // Adds up every Time cell afresh (in row order, as totalFlightTime(LogTable) does).
    void recountFlightTime();

signals:
    // The user edited a cell, added or deleted rows.
    void changedByUser();

private:
    int tableRows() const { return static_cast<int>(m_table.rowCount()); }
    void removeRange(int first, int last);
    double flightHoursOf(qsizetype row) const;

    LogTable& m_table;
    double m_totalHours = 0.0;
};
