#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>

class Dialogs;
class FlightLogModel;
class QAction;
class QLineEdit;

// The flight log grid. An edited cell is checked before it is stored; a
// refused value is explained in a box and its cell stays in editing, so
// nothing else in the grid (another cell, a row selector, a heading) takes
// the click until the value is mended or the edit is dropped with Escape.
// Rows selected whole are deleted with the Delete key or the context menu.
class FlightLogView : public QTableView {
    Q_OBJECT

public:
    FlightLogView(Dialogs& dialogs, QWidget* parent = nullptr);

    void setFlightLogModel(FlightLogModel* model);

    // Stores the cell in editing, if any, through the checks. False when the
    // value was refused: its box has been shown and the cell is still in editing.
    bool commitEditInProgress();
    // Drops the edit in progress, if any, keeping the cell's stored value.
    void dropEditInProgress();
    // The open cell editor, if any.
    QLineEdit* cellEditor() const;

    // Deletes every row selected whole; the new-flight row is never deleted.
    void deleteSelectedRows();
    QAction* deleteRowsAction() const { return m_actDeleteRows; }

signals:
    void rowsDeleted();
    // A refused value is about to be explained in a box; its cell is in view.
    void refusingEdit();

protected:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class CellDelegate;

    static bool movesToAnotherCell(int key);
    QList<int> wholeSelectedRows() const;
    void updateDeleteAction();

    Dialogs& m_dialogs;
    FlightLogModel* m_model = nullptr;
    CellDelegate* m_delegate;
    QAction* m_actDeleteRows;
    bool m_keepEditor = false;
};
