#include "flightlogview.h"

#include "cellvalidation.h"
#include "dialogs.h"
#include "flightlogmodel.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

// Keeps track of the one open cell editor. An edit is committed on Enter,
// Tab, a click elsewhere in the grid or by the panel's commands, never merely
// because the focus left it: a refused value would otherwise raise its box
// whenever the pilot switched windows.
class FlightLogView::CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        m_editor = editor;
        m_index = index;
        return editor;
    }

    QWidget* openEditor() const { return m_editor; }
    QModelIndex editedIndex() const { return m_index; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut)
            return false;
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    mutable QPointer<QWidget> m_editor;
    mutable QPersistentModelIndex m_index;
};

FlightLogView::FlightLogView(Dialogs& dialogs, QWidget* parent)
    : QTableView(parent),
      m_dialogs(dialogs),
      m_delegate(new CellDelegate(this)),
      m_actDeleteRows(new QAction(tr("Delete Selected Rows"), this))
{
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(8.25);
    setFont(arial);
    setItemDelegate(m_delegate);
    setEditTriggers(DoubleClicked | SelectedClicked | EditKeyPressed | AnyKeyPressed);
    setSelectionMode(ExtendedSelection);
    setWordWrap(false);

    // A heading click sorts (or does nothing); it does not select the column.
    QHeaderView* headings = horizontalHeader();
    disconnect(headings, &QHeaderView::sectionPressed, this, nullptr);
    disconnect(headings, &QHeaderView::sectionEntered, this, nullptr);
    headings->setSectionsMovable(false);
    headings->setSectionsClickable(true);
    headings->setHighlightSections(false);
    headings->setSectionResizeMode(QHeaderView::Interactive);

    // Fixed row heights keep a log of a million rows as quick as a short one.
    QHeaderView* selectors = verticalHeader();
    selectors->setSectionResizeMode(QHeaderView::Fixed);
    selectors->setDefaultSectionSize(fontMetrics().height() + 6);
    selectors->setDefaultAlignment(Qt::AlignCenter);

    headings->viewport()->installEventFilter(this);
    selectors->viewport()->installEventFilter(this);

    m_actDeleteRows->setShortcut(QKeySequence::Delete);
    m_actDeleteRows->setShortcutContext(Qt::WidgetShortcut);
    m_actDeleteRows->setEnabled(false);
    connect(m_actDeleteRows, &QAction::triggered, this, &FlightLogView::deleteSelectedRows);
    addAction(m_actDeleteRows);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    selectors->addAction(m_actDeleteRows);
    selectors->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void FlightLogView::setFlightLogModel(FlightLogModel* model)
{
    m_model = model;
    setModel(model);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &FlightLogView::updateDeleteAction);
    connect(model, &QAbstractItemModel::modelReset, this, &FlightLogView::updateDeleteAction);
}

bool FlightLogView::commitEditInProgress()
{
    QWidget* editor = m_delegate->openEditor();
    if (state() != EditingState || !editor)
        return true;
    commitData(editor);
    if (m_keepEditor) {
        m_keepEditor = false;
        editor->setFocus();
        return false;
    }
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

void FlightLogView::dropEditInProgress()
{
    QWidget* editor = m_delegate->openEditor();
    if (state() == EditingState && editor)
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

QLineEdit* FlightLogView::cellEditor() const
{
    if (state() != EditingState)
        return nullptr;
    return qobject_cast<QLineEdit*>(m_delegate->openEditor());
}

// Every way an edit ends comes here first; a refused value keeps its editor.
void FlightLogView::commitData(QWidget* editor)
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    const QModelIndex index = m_delegate->editedIndex();
    if (!line || editor != m_delegate->openEditor() || !index.isValid()) {
        QTableView::commitData(editor);
        return;
    }
    const QString typed = line->text();
    if (typed == index.data(Qt::EditRole).toString())
        return;   // nothing was changed, so nothing is checked or stored
    const CellCheck check = validateCell(index.column(), typed);
    if (!check.accepted) {
        m_keepEditor = true;
        scrollTo(index);
        emit refusingEdit();
        m_dialogs.message(this, {QString::fromLatin1(kInvalidEntryTitle), check.message, QMessageBox::Information,
                                 QMessageBox::Ok});
        return;
    }
    line->setText(check.value);
    model()->setData(index, check.value, Qt::EditRole);
}

void FlightLogView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (m_keepEditor && hint != QAbstractItemDelegate::RevertModelCache) {
        m_keepEditor = false;
        editor->setFocus();
        return;
    }
    m_keepEditor = false;
    QTableView::closeEditor(editor, hint);
}

void FlightLogView::keyPressEvent(QKeyEvent* event)
{
    // Keys the cell editor leaves alone (Up, Down, Page Up...) move to another
    // cell; Enter, Tab and Escape are handled by the editor's delegate.
    if (state() == EditingState && movesToAnotherCell(event->key()) && !commitEditInProgress())
        return;
    QTableView::keyPressEvent(event);
}

bool FlightLogView::movesToAnotherCell(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

void FlightLogView::mousePressEvent(QMouseEvent* event)
{
    if (state() == EditingState && !commitEditInProgress())
        return;
    QTableView::mousePressEvent(event);
}

bool FlightLogView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && state() == EditingState && !commitEditInProgress())
        return true;
    return QTableView::eventFilter(watched, event);
}

void FlightLogView::deleteSelectedRows()
{
    if (!m_model || state() == EditingState)
        return;
    if (m_model->removeTableRows(wholeSelectedRows()) > 0)
        emit rowsDeleted();
}

// Rows whose every column is selected: picked by their row selectors or
// dragged across the whole width. Read from the selection's ranges, so that
// selecting all of a large log stays quick.
QList<int> FlightLogView::wholeSelectedRows() const
{
    QList<int> rows;
    if (!m_model)
        return rows;
    const int lastColumn = m_model->columnCount() - 1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.left() != 0 || range.right() != lastColumn)
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (!m_model->isNewFlightRow(row))
                rows.append(row);
        }
    }
    return rows;
}

void FlightLogView::updateDeleteAction()
{
    bool any = false;
    if (m_model) {
        const int lastColumn = m_model->columnCount() - 1;
        for (const QItemSelectionRange& range : selectionModel()->selection()) {
            if (range.left() == 0 && range.right() == lastColumn
                && !(range.top() == range.bottom() && m_model->isNewFlightRow(range.top())))
                any = true;
        }
    }
    m_actDeleteRows->setEnabled(any);
}
