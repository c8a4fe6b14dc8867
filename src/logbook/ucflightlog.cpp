#include "ucflightlog.h"

#include "apperror.h"
#include "busycursor.h"
#include "clslogentry.h"
#include "dialogs.h"
#include "errorreport.h"
#include "flightcharts.h"
#include "flightlogmodel.h"
#include "flightlogpreview.h"
#include "flightlogprinter.h"
#include "flightlogview.h"
#include "flightstats.h"
#include "modfunctions.h"
#include "linklabelgroup.h"
#include "panelframe.h"
#include "paneltitle.h"
#include "twips.h"

#include <QDateTime>
#include <QHash>
#include <QItemSelection>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPrinter>

#include <algorithm>

namespace {
const QString kSourceUCI = QStringLiteral("ucFlightLog.UCI()");
const QString kSourceGridLoad = QStringLiteral("ucFlightLog.Grid_Load()");
const QString kSourceGridSave = QStringLiteral("ucFlightLog.Grid_Save()");
const QString kSourceGridUndo = QStringLiteral("ucFlightLog.Grid_Undo()");
const QString kSourceGridSort = QStringLiteral("ucFlightLog.Grid_Sort()");
const QString kSourceNewACARSEntry = QStringLiteral("ucFlightLog.NewACARS_Entry()");
const QString kSourceTotalFlightTime = QStringLiteral("ucFlightLog.Total_FlightTime()");
const QString kSourcePageSetup = QStringLiteral("ucFlightLog.Grid_Page_Setup()");
const QString kSourcePrintPreview = QStringLiteral("ucFlightLog.Grid_Print_Preview()");
const QString kSourcePrint = QStringLiteral("ucFlightLog.Grid_Print()");

const QString kTitleSaved = QStringLiteral("Quillon Save Flight Log");
const QString kMsgSaved = QStringLiteral("Flight Log Saved");
const QString kTitleUndone = QStringLiteral("Quillon Undo Flight Log Changes");
const QString kMsgUndone = QStringLiteral("Flight Log Changes Undone");
const QString kTitleChanged = QStringLiteral("Flight Log Changed");
const QString kMsgSaveChanges = QStringLiteral("Would you like to save the changes made to the Flight Log?");
const QString kPageHeaderPrefix = QStringLiteral("Flight Log: ");
const QString kTitleChartFlights = QStringLiteral("Quillon Charts");
const QString kMsgSomeFlightsShown = QStringLiteral("%1 of the %2 flights of that bar are shown: %3");
const QString kWhyUnsaved =
    QStringLiteral("the Flight Log has changes that are not saved yet, and the charts show the log as last saved.");
const QString kWhyFileChanged = QStringLiteral("the log file has changed since the Flight Log read it.");

// Left to right in index order (see ucFlightLog::Link).
constexpr std::array<PanelLink, 5> kLinks{{
    {"Save", 240, 480},
    {"Undo", 960, 480},
    {"Page Setup", 1680, 1020},
    {"Print Preview", 2940, 1140},
    {"Print", 4320, 480},
}};

// The longest value a column usually holds, in the form a logged flight gives it.
constexpr std::array<const char*, LogTable::kColumnCount> kTypicalValues{
    "2002-07-07", "ATR72", "N00000", "KSFO", "0000Z", "0000Z", "00000 lbs",
    "KSFO", "0000Z", "0000Z", "00000 lbs", "00.0", "00:00", "00000 lbs"};

constexpr int kSelectorWidthTwips = 270;
constexpr int kCaptionHeightTwips = 300;
} // namespace

ucFlightLog::ucFlightLog(std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_objNewLogEntry(std::move(record))
{
    buildControls();
    connect(m_objNewLogEntry.get(), &clsLogEntry::NewLogEntrySave, this, &ucFlightLog::NewACARS_Entry,
            Qt::DirectConnection);
    UCI();
}

// Qt deletes children after the members, so those that read the table go
// first. The save question has been asked by queryClose().
ucFlightLog::~ucFlightLog()
{
    delete previewWindow();
    delete m_frame;
    delete m_model;
}

void ucFlightLog::buildControls()
{
    m_frame = new PanelFrame(kLinks, this);
    connect(m_frame->title()->links(), &LinkLabelGroup::clicked, this, &ucFlightLog::hypACARS_Click);

    m_lblCaption = new QLabel(m_frame);
    m_lblCaption->setObjectName(QStringLiteral("lblCaption"));
    m_lblCaption->setAlignment(Qt::AlignCenter);
    m_lblCaption->setAutoFillBackground(true);
    m_lblCaption->setBackgroundRole(QPalette::Button);
    m_lblCaption->setFrameShape(QFrame::Panel);
    m_lblCaption->setFrameShadow(QFrame::Raised);
    m_lblCaption->setText(flightLogCaption(0.0));

    m_model = new FlightLogModel(m_xarLog, this);
    m_tdbLog = new FlightLogView(m_dialogs, m_frame);
    m_tdbLog->setObjectName(QStringLiteral("tdbLog"));
    m_tdbLog->setFlightLogModel(m_model);
    m_tdbLog->verticalHeader()->setFixedWidth(twipsToPixelsX(kSelectorWidthTwips, this));
    connect(m_tdbLog->horizontalHeader(), &QHeaderView::sectionClicked, this, &ucFlightLog::tdbLog_HeadClick);
    connect(m_model, &FlightLogModel::changedByUser, this, &ucFlightLog::tdbLog_RowsChangedByUser);
    connect(m_tdbLog, &FlightLogView::rowsDeleted, this, &ucFlightLog::tdbLog_RowsChangedByUser);
    connect(m_tdbLog, &FlightLogView::refusingEdit, this, &ucFlightLog::refusingEdit);
}

QPrinter& ucFlightLog::printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setCopyCount(1);
        m_printer->setCollateCopies(false);
    }
    return *m_printer;
}

void ucFlightLog::setTitle_BackColor(qint32 vData)
{
    m_frame->title()->setBackColor(vData);
}

QString ucFlightLog::caption() const
{
    return m_lblCaption->text();
}

FlightLogPreview* ucFlightLog::previewWindow() const
{
    return FlightLogPreview::of(*this);
}

// Layout never fails the pilot: a panel lower than its title strip simply
// leaves the grid no height.
void ucFlightLog::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void ucFlightLog::placeControls()
{
    const QRect body = m_frame->fillPanel();
    const int captionHeight = std::min(body.height(), twipsToPixelsY(kCaptionHeightTwips, this));
    m_lblCaption->setGeometry(body.x(), body.y(), body.width(), captionHeight);
    m_tdbLog->setGeometry(body.x(), body.y() + captionHeight, body.width(), body.height() - captionHeight);
}

void ucFlightLog::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_tdbLog->setFocus();
}

void ucFlightLog::UCI()
{
    try {
        m_blnChanged = false;
        Grid_Column_Widths();
        Grid_Load();
        Total_FlightTime();
        m_strPageHeader = kPageHeaderPrefix + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceUCI, e);
    }
}

// The widths of the column table, widened where this screen's font would
// cut the heading or a typical value (the table was made for a narrower font).
void ucFlightLog::Grid_Column_Widths()
{
    const QFontMetrics cells = m_tdbLog->fontMetrics();
    const QFontMetrics headings = m_tdbLog->horizontalHeader()->fontMetrics();
    const int margin = 2 * cells.averageCharWidth();
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        const int fitted = std::max(cells.horizontalAdvance(QString::fromLatin1(kTypicalValues[column])),
                                    headings.horizontalAdvance(columnHeading(column)));
        m_tdbLog->setColumnWidth(column,
                                 std::max(twipsToPixelsX(kColumnWidthsTwips[column], this), fitted + margin));
    }
}

// The load already orders the rows by date, so they are not sorted again.
void ucFlightLog::Grid_Load()
{
    try {
        LoadResult result;
        m_model->changeWholeTable([&result](LogTable& table) { result = Load_XArray(table); });
        if (result.errorNumber != 0)
            Error_Report(m_dialogs, QString::fromLatin1(kLoadXArraySource), result.errorNumber,
                         result.errorDescription);
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceGridLoad, e);
    }
}

void ucFlightLog::Grid_Sort(int column)
{
    try {
        BusyCursor busy;
        m_model->reorderTable([column](LogTable& table) { return Sort_XArray(table, column); });
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceGridSort, e);
    }
}

// True when the file was written. A failure is reported and leaves the
// state as it was: no "saved" box, still Changed.
bool ucFlightLog::Grid_Save()
{
    try {
        BusyCursor busy;
        writeLog();
        m_blnChanged = false;
        m_model->recountFlightTime();   // sheds the rounding that many edits may have gathered
        Total_FlightTime();
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceGridSave, e);
        return false;
    }
    emit logSaved();
    m_dialogs.inform(this, kTitleSaved, kMsgSaved);
    return true;
}

void ucFlightLog::writeLog()
{
    const SaveResult result = saveLogTable(m_xarLog);
    if (!result.ok)
        throw AppError(result.errorNumber, result.message);
}

// Reverts to the file as last saved; the panel stays Changed, so closing
// still asks. An edit in progress is dropped with the rest.
void ucFlightLog::Grid_Undo()
{
    try {
        BusyCursor busy;
        m_tdbLog->dropEditInProgress();
        m_model->changeWholeTable([](LogTable& table) { table.clear(); });
        Grid_Load();
        Total_FlightTime();
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceGridUndo, e);
        return;
    }
    m_dialogs.inform(this, kTitleUndone, kMsgUndone);
}

// The answer to the record's save request: the flight is appended as the last
// row and the file written at once. A flight whose save fails is taken out
// again, so a retry does not log it twice. The record is answered in every case.
void ucFlightLog::NewACARS_Entry()
{
    bool blnResult = false;
    qsizetype appended = -1;
    try {
        if (m_tdbLog->commitEditInProgress()) {
            std::array<QString, LogTable::kColumnCount> cells;
            for (int column = 0; column < LogTable::kColumnCount; ++column)
                cells[column] = m_objNewLogEntry->field(column);
            {
                BusyCursor busy;   // not over the boxes that follow
                appended = m_model->appendRow(cells);
            }
            blnResult = Grid_Save();
        }
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceNewACARSEntry, e);
    }
    if (!blnResult && appended >= 0)
        takeBackFlight(appended);
    m_objNewLogEntry->New_Log_Entry_Save_Result(blnResult);
}

void ucFlightLog::takeBackFlight(qsizetype row)
{
    try {
        m_model->removeTableRows({static_cast<int>(row)});
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceNewACARSEntry, e);
    }
    Total_FlightTime();
}

void ucFlightLog::Total_FlightTime()
{
    double total = 0.0;
    try {
        total = m_model->totalFlightTime();
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceTotalFlightTime, e);
    }
    m_lblCaption->setText(flightLogCaption(total));
}

void ucFlightLog::Grid_Page_Setup()
{
    try {
        m_dialogs.pageSetup(this, printer());
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourcePageSetup, e);
    }
}

void ucFlightLog::Grid_Print_Preview()
{
    try {
        FlightLogPreview::openFor(*this, printer(), [this](QPrinter& target) { paintLog(target); },
                                  [this] { return commitEditInProgress() && Grid_Print(); });
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourcePrintPreview, e);
    }
}

// True when the pages went to the printer.
bool ucFlightLog::Grid_Print()
{
    try {
        QWidget* parent = previewWindow() ? static_cast<QWidget*>(previewWindow()) : this;
        if (!m_dialogs.printSetup(parent, printer()))
            return false;
        BusyCursor busy;
        paintLog(printer());
        return true;
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourcePrint, e);
    }
    return false;
}

void ucFlightLog::paintLog(QPrinter& printer) const
{
    FlightLogPrinter(m_xarLog, m_strPageHeader).print(printer);
}

// Rows next to each other make one range: a month's flights are one block in a
// log in date order. The charts show the saved file: flights not found are
// the grid's unsaved edits (or the file's later ones), and the pilot is told.
qsizetype ucFlightLog::selectFlights(const QList<QByteArray>& flights)
{
    QHash<QByteArray, qsizetype> wanted;
    for (const QByteArray& flight : flights)
        ++wanted[flight];
    QItemSelection selection;
    const auto addRange = [&](int first, int last) {
        selection.append(QItemSelectionRange(m_model->index(first, 0), m_model->index(last, LogTable::kColumnCount - 1)));
    };
    qsizetype selected = 0;
    int rangeFirst = -1;
    int rangeLast = -1;
    for (qsizetype row = 0; row < m_xarLog.rowCount() && selected < flights.size(); ++row) {
        const auto it = wanted.find(flightKey(m_xarLog, row));
        if (it == wanted.end() || it.value() == 0)
            continue;
        --it.value();
        ++selected;
        const int gridRow = static_cast<int>(row);
        if (gridRow != rangeLast + 1 && rangeFirst >= 0) {
            addRange(rangeFirst, rangeLast);
            rangeFirst = -1;
        }
        if (rangeFirst < 0)
            rangeFirst = gridRow;
        rangeLast = gridRow;
    }
    if (rangeFirst >= 0)
        addRange(rangeFirst, rangeLast);
    m_tdbLog->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty()) {
        const QModelIndex first = selection.first().topLeft();
        m_tdbLog->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        m_tdbLog->scrollTo(first, QAbstractItemView::PositionAtCenter);
    }
    if (selected < flights.size()) {
        m_dialogs.inform(this, kTitleChartFlights, kMsgSomeFlightsShown.arg(selected).arg(flights.size())
                                                       .arg(m_blnChanged ? kWhyUnsaved : kWhyFileChanged));
    }
    return selected;
}

bool ucFlightLog::queryClose()
{
    if (!commitEditInProgress())
        return false;
    if (!m_blnChanged)
        return true;
    return Grid_Save_Prompt();
}

// Yes saves (false when that fails); No leaves the file as last saved.
bool ucFlightLog::Grid_Save_Prompt()
{
    const QMessageBox::StandardButton answer = m_dialogs.message(
        this, {kTitleChanged, kMsgSaveChanges, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No});
    if (answer != QMessageBox::Yes)
        return true;
    return Grid_Save();
}

void ucFlightLog::hypACARS_Click(int index)
{
    switch (index) {
    case LINK_SAVE:
        if (commitEditInProgress())
            Grid_Save();
        break;
    case LINK_UNDO:
        Grid_Undo();
        break;
    case LINK_PAGE_SETUP:
        Grid_Page_Setup();
        break;
    case LINK_PRINT_PREVIEW:
        if (commitEditInProgress())
            Grid_Print_Preview();
        break;
    case LINK_PRINT:
        if (commitEditInProgress())
            Grid_Print();
        break;
    default:
        break;
    }
}

void ucFlightLog::tdbLog_HeadClick(int column)
{
    if (column == clsLogEntry::FLIGHT_DATE_FIELD || column == clsLogEntry::AIRCRAFT_TYPE_FIELD)
        Grid_Sort(column);
}

void ucFlightLog::tdbLog_RowsChangedByUser()
{
    m_blnChanged = true;
    Total_FlightTime();
}

bool ucFlightLog::commitEditInProgress()
{
    return m_tdbLog->commitEditInProgress();
}
