#include "ucacars.h"

#include "appinfo.h"
#include "busycursor.h"
#include "clslogentry.h"
#include "colors.h"
#include "dialogs.h"
#include "errorreport.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "paneltitle.h"
#include "twips.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QFocusEvent>
#include <QValidator>

#include <algorithm>
#include <functional>

namespace {

const QString kSaveFailText = QStringLiteral("This entry was NOT saved due to the application error");
const QString kLinkLostAdvice =
    QStringLiteral("Tracking has stopped; the times recorded so far are kept. "
                   "Click On to continue this flight once the simulator answers again, or Reset to discard it.");
const QString kFuelOutMissing =
    QStringLiteral("Fuel OUT could not be read: it is read when tracking goes on, before take-off.");
const QString kFuelOutLost = QStringLiteral("Fuel OUT could not be read: after take-off it stays empty.");
const QString kFuelInMissing = QStringLiteral(
    "Fuel IN could not be read: click On to read it while the parking brake is still set.");
const QString kWaitingText = QStringLiteral("Waiting for the simulator...");
const QString kLinkLostStatus = QStringLiteral("Link lost: %1");
const QString kTrackingText = QStringLiteral("Tracking %1");
const QString kContinueText = QStringLiteral("Click On to continue this flight.");
const QString kKeepFailedText = QStringLiteral("The flight in progress could not be kept. %1");
const QString kSavedFlightQuestion =
    QStringLiteral("Quillon was closed in the middle of a flight:\r\n\r\n%1\r\n\r\n"
                   "Continue this flight? Click No to discard it.");
const QString kDamagedFlightText = QStringLiteral(
    "The flight in progress kept in %1 could not be read (%2).\r\nIt has been set aside as %3.");
const QString kDamagedNotMovedText = QStringLiteral(
    "The flight in progress kept in %1 could not be read (%2), and it could not be set aside.");
const QString kResetQuestion = QStringLiteral("Discard the flight recorded so far?\r\n\r\n%1");
const QString kArrivedCloseQuestion = QStringLiteral(
    "This flight has arrived but is not logged:\r\n\r\n%1\r\n\r\nLog it before closing?");
const QString kKeptOnCloseText = QStringLiteral(
    "The flight in progress is kept: when Quillon starts again it offers to continue it.\r\n\r\n%1");
const QString kRefusedCharacterHint = QStringLiteral("Commas and line breaks are not allowed here.");
const QString kUnstorableCharacterHint = QStringLiteral("The log file cannot store that character.");
const QString kFieldToolTip =
    QStringLiteral("Commas and line breaks are not allowed: they would split the flight's line in the log.");
const QString kPlaceholder = QStringLiteral("[     ]");
const QString kTimeSuffix = QStringLiteral("Z");
const QString kFuelSuffix = QStringLiteral(" lbs");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kSlewModeCaption = QStringLiteral("Slew Mode");
const QString kNormalFlightCaption = QStringLiteral("Normal Flight");

const QString kSourceUCI = QStringLiteral("ucACARS.UCI()");
const QString kSourceOn = QStringLiteral("ucACARS.ACARS_ON()");
const QString kSourceMode = QStringLiteral("ucACARS.ACARS_MODE()");
const QString kSourceTimer = QStringLiteral("ucACARS.tmr_Timer()");
const QString kSourceReset = QStringLiteral("ucACARS.ACARS_RESET()");
const QString kSourceLog = QStringLiteral("ucACARS.ACARS_LOG()");
constexpr qint32 kErrWorkerFailure = 5; // a run-time failure on the worker, by its text

constexpr qint32 kValueTextColor = 0x00C00000; // dark blue, 0x00BBGGRR
constexpr qint32 kFrameColor = 0x00FFFFFF;
constexpr double kFontPoints = 8.25;

constexpr int kLabelHeightTwips = 210;
constexpr int kTextBoxHeightTwips = 315;
constexpr int kCaptionLeftTwips = 120;
constexpr int kValueLeftTwips = 1680;
constexpr int kRightCaptionLeftTwips = 3000;
constexpr int kCaptionGapTwips = 60;
constexpr int kHintLeftTwips = 3000; // beside the date, above the boxes
constexpr int kHintTopTwips = 720;
constexpr int kLinkLeftTwips = 3000; // the right column's free rows, between fuel OUT and fuel IN
constexpr int kLinkTopTwips = 2400;
constexpr int kLinkWidthTwips = 2880;
constexpr int kLinkHeightTwips = 1260;
constexpr qint32 kHintTextColor = 0x000000C0; // dark red

const std::array<QString, 13> kCaptions = {
    QStringLiteral("Time OUT:"), QStringLiteral("Time OFF:"), QStringLiteral("Time ON:"),
    QStringLiteral("Time IN:"), QStringLiteral("Flight Time:"), QStringLiteral("Fuel OUT:"),
    QStringLiteral("Fuel IN:"), QStringLiteral("Fuel Used:"), QStringLiteral("Date:"),
    QStringLiteral("Aircraft Type:"), QStringLiteral("Aircraft ID:"), QStringLiteral("Origin:"),
    QStringLiteral("Destination:"),
};

// Where a control sits on Frame, in twips; `sample` is the longest text the
// control shows, so that a larger font widens it instead of cutting the text.
struct Placement {
    int leftTwips;
    int topTwips;
    int widthTwips;
    int heightTwips;
    QString sample;
};

const QString kTimeSample = QStringLiteral("8888Z");
const QString kFuelSample = QStringLiteral("-888888 lbs");

// lblACARS(0..9)
const std::array<Placement, 10> kValuePlacements = {{
    {1680, 2040, 510, kLabelHeightTwips, kTimeSample},
    {1680, 2400, 510, kLabelHeightTwips, kTimeSample},
    {1680, 3360, 510, kLabelHeightTwips, kTimeSample},
    {1680, 3720, 510, kLabelHeightTwips, kTimeSample},
    {1680, 4200, 510, kLabelHeightTwips, QStringLiteral("88.8")},
    {4560, 2040, 345, kLabelHeightTwips, kFuelSample},
    {4560, 3720, 345, kLabelHeightTwips, kFuelSample},
    {4560, 4200, 345, kLabelHeightTwips, kFuelSample},
    {1680, 4560, 510, kLabelHeightTwips, QStringLiteral("88:88")},
    {1680, 720, 840, kLabelHeightTwips, QStringLiteral("8888-88-88")},
}};

// txtACARS(0..3): wide enough for a type such as "B737-800" or an airport code.
const QString kAircraftSample = QStringLiteral("B737-800W");
const QString kAirportSample = QStringLiteral("KJFKW");
const std::array<Placement, 4> kTextPlacements = {{
    {1680, 1080, 855, kTextBoxHeightTwips, kAircraftSample},
    {4320, 1080, 855, kTextBoxHeightTwips, kAircraftSample},
    {1680, 1680, 615, kTextBoxHeightTwips, kAirportSample},
    {1680, 3000, 615, kTextBoxHeightTwips, kAirportSample},
}};

// lblCaption(0..12): left and top; the caption runs up to its value and is
// as high as it, so that a caption lines up with the text in its box.
struct CaptionPlacement {
    int leftTwips;
    int topTwips;
    int valueLeftTwips;
    int heightTwips;
};
const std::array<CaptionPlacement, 13> kCaptionPlacements = {{
    {kCaptionLeftTwips, 2040, kValueLeftTwips, kLabelHeightTwips},
    {kCaptionLeftTwips, 2400, kValueLeftTwips, kLabelHeightTwips},
    {kCaptionLeftTwips, 3360, kValueLeftTwips, kLabelHeightTwips},
    {kCaptionLeftTwips, 3720, kValueLeftTwips, kLabelHeightTwips},
    {kCaptionLeftTwips, 4200, kValueLeftTwips, kLabelHeightTwips},
    {kRightCaptionLeftTwips, 2040, 4560, kLabelHeightTwips},
    {kRightCaptionLeftTwips, 3720, 4560, kLabelHeightTwips},
    {kRightCaptionLeftTwips, 4200, 4560, kLabelHeightTwips},
    {kCaptionLeftTwips, 720, kValueLeftTwips, kLabelHeightTwips},
    {kCaptionLeftTwips, 1080, kValueLeftTwips, kTextBoxHeightTwips},
    {kRightCaptionLeftTwips, 1080, 4320, kTextBoxHeightTwips},
    {kCaptionLeftTwips, 1680, kValueLeftTwips, kTextBoxHeightTwips},
    {kCaptionLeftTwips, 3000, kValueLeftTwips, kTextBoxHeightTwips},
}};

struct LinkPlacement {
    const char* caption;
    int leftTwips;
    int widthTwips;
};
const std::array<LinkPlacement, 4> kLinkPlacements = {{
    {"On", 120, 210},
    {"Slew Mode", 960, 810},
    {"Log Flight", 2400, 690},
    {"Reset", 3840, 420},
}};

// A log field cannot hold "," or a line break: the log file has no quoting,
// so either would split the flight's line. Nor a character the file's
// encoding has no byte for. Refused input is reported with its reason.
class LogFieldValidator : public QValidator {
public:
    LogFieldValidator(std::function<void(const QString&)> onRefused, QObject* parent)
        : QValidator(parent), m_onRefused(std::move(onRefused))
    {
    }

    State validate(QString& input, int&) const override
    {
        if (containsSeparator(input)) {
            m_onRefused(kRefusedCharacterHint);
            return Invalid;
        }
        if (!storableInLog(input)) {
            m_onRefused(kUnstorableCharacterHint);
            return Invalid;
        }
        return Acceptable;
    }

    static bool containsSeparator(const QString& text)
    {
        return text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('\n'))
               || text.contains(QLatin1Char('\r'));
    }

private:
    std::function<void(const QString&)> m_onRefused;
};

// Sets a flag for a scope and clears it when the scope ends, however it ends.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
};

// The tracker's texts as shown; a value not known is shown (and logged) empty, never as a bare unit.
QString timeText(const QString& strTime) { return strTime.isEmpty() ? QString() : strTime + kTimeSuffix; }
QString fuelText(const QString& strFuel) { return strFuel.isEmpty() ? QString() : strFuel + kFuelSuffix; }

} // namespace

ucACARS::ucACARS(std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent, IpcPlatform& platform)
    : QWidget(parent), m_objNewLogEntry(std::move(record)), m_dialogs(dialogs), m_platform(platform),
      m_strFlightPath(FlightInProgress::defaultPath())
{
    buildControls();
    UCI();
}

// Whatever is not yet written is kept; a flight in progress stays in its file.
ucACARS::~ucACARS()
{
    tmr->stop();
    if (m_blnFlightChanged)
        Keep_Flight();
    stopWorker();
}

void ucACARS::setTitle_BackColor(qint32 vData)
{
    Title->setBackColor(vData);
}

// ---- controls and layout ----

void ucACARS::buildControls()
{
    QFont panelFont(QStringLiteral("Arial"));
    panelFont.setPointSizeF(kFontPoints);

    Frame = new QWidget(this);
    Frame->setObjectName(QStringLiteral("Frame"));
    Frame->setFont(panelFont);
    Frame->setAutoFillBackground(true);
    QPalette framePalette = Frame->palette();
    framePalette.setColor(QPalette::Window, colorFromBgr(kFrameColor));
    Frame->setPalette(framePalette);

    Title = new PanelTitle(Frame);
    Title->setObjectName(QStringLiteral("Title"));
    for (std::size_t i = 0; i < kLinkPlacements.size(); ++i) {
        const LinkPlacement& link = kLinkPlacements[i];
        hypACARS[i] = Title->addLink(QString::fromLatin1(link.caption), link.leftTwips, link.widthTwips);
    }
    connect(Title->links(), &LinkLabelGroup::clicked, this, &ucACARS::hypACARS_Click);

    for (int i = 0; i < kCaptionCount; ++i)
        lblCaption[i] = makeCaption(i, kCaptions[i]);
    for (int i = 0; i < kValueCount; ++i)
        lblACARS[i] = makeValue(i);
    for (int i = 0; i < kTextCount; ++i)
        txtACARS[i] = makeTextBox(i);
    for (int i = 1; i < kTextCount; ++i)
        setTabOrder(txtACARS[i - 1], txtACARS[i]);

    lblHint = new QLabel(kRefusedCharacterHint, Frame);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    QPalette hintPalette = lblHint->palette();
    hintPalette.setColor(QPalette::WindowText, colorFromBgr(kHintTextColor));
    lblHint->setPalette(hintPalette);
    lblHint->hide();
    m_hintTimer = new QTimer(this);
    m_hintTimer->setSingleShot(true);
    m_hintTimer->setInterval(kHintShownMs);
    connect(m_hintTimer, &QTimer::timeout, lblHint, &QLabel::hide);

    lblLink = new QLabel(Frame);
    lblLink->setObjectName(QStringLiteral("lblLink"));
    lblLink->setWordWrap(true);
    lblLink->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblLink->setPalette(hintPalette);

    m_waitTimer = new QTimer(this);
    m_waitTimer->setSingleShot(true);
    m_waitTimer->setInterval(kWaitingShownAfterMs);
    connect(m_waitTimer, &QTimer::timeout, this, [this] { Show_Link_Status(kWaitingText, kWaitingText); });
    m_keepTimer = new QTimer(this);
    m_keepTimer->setSingleShot(true);
    m_keepTimer->setInterval(kTypingKeptAfterMs);
    connect(m_keepTimer, &QTimer::timeout, this, &ucACARS::Keep_Flight);

    tmr = new QTimer(this);
    tmr->setObjectName(QStringLiteral("tmr"));
    tmr->setInterval(kTimerIntervalMs);
    connect(tmr, &QTimer::timeout, this, &ucACARS::tmr_Timer);

    placeControls();
}

QLabel* ucACARS::makeCaption(int index, const QString& caption)
{
    auto* label = new QLabel(caption, Frame);
    label->setObjectName(QStringLiteral("lblCaption_%1").arg(index));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* ucACARS::makeValue(int index)
{
    auto* label = new QLabel(Frame);
    label->setObjectName(QStringLiteral("lblACARS_%1").arg(index));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Only the enabled groups get the dark blue: a disabled value stays grey.
    QPalette valuePalette = label->palette();
    valuePalette.setColor(QPalette::Active, QPalette::WindowText, colorFromBgr(kValueTextColor));
    valuePalette.setColor(QPalette::Inactive, QPalette::WindowText, colorFromBgr(kValueTextColor));
    label->setPalette(valuePalette);
    return label;
}

QLineEdit* ucACARS::makeTextBox(int index)
{
    auto* textBox = new QLineEdit(Frame);
    textBox->setObjectName(QStringLiteral("txtACARS_%1").arg(index));
    QPalette textPalette = textBox->palette();
    textPalette.setColor(QPalette::Text, colorFromBgr(kValueTextColor));
    textBox->setPalette(textPalette);
    textBox->setToolTip(kFieldToolTip);
    textBox->setValidator(new LogFieldValidator([this](const QString& hint) { Show_Refused_Character(hint); }, textBox));
    textBox->installEventFilter(this);
    connect(textBox, &QLineEdit::textEdited, this, [this] {
        m_blnFlightChanged = true;
        m_keepTimer->start();
    });
    return textBox;
}

void ucACARS::placeControls()
{
    auto place = [this](QWidget* widget, int leftTwips, int topTwips, int widthTwips, int heightTwips,
                        const QString& sample) {
        const QFontMetrics metrics(widget->font());
        const int neededPixels = metrics.horizontalAdvance(sample) + 2 * metrics.averageCharWidth();
        const int width = std::max(twipsToPixelsX(widthTwips, this), neededPixels);
        const int height = std::max(twipsToPixelsY(heightTwips, this), widget->sizeHint().height());
        widget->setGeometry(twipsToPixelsX(leftTwips, this), twipsToPixelsY(topTwips, this), width, height);
    };
    for (int i = 0; i < kCaptionCount; ++i) {
        const CaptionPlacement& p = kCaptionPlacements[i];
        place(lblCaption[i], p.leftTwips, p.topTwips, p.valueLeftTwips - p.leftTwips - kCaptionGapTwips,
              p.heightTwips, QString());
    }
    for (int i = 0; i < kValueCount; ++i) {
        const Placement& p = kValuePlacements[i];
        place(lblACARS[i], p.leftTwips, p.topTwips, p.widthTwips, p.heightTwips, p.sample);
    }
    for (int i = 0; i < kTextCount; ++i) {
        const Placement& p = kTextPlacements[i];
        place(txtACARS[i], p.leftTwips, p.topTwips, p.widthTwips, p.heightTwips, p.sample);
    }
    place(lblHint, kHintLeftTwips, kHintTopTwips, 0, kLabelHeightTwips, kRefusedCharacterHint);
    place(lblLink, kLinkLeftTwips, kLinkTopTwips, kLinkWidthTwips, kLinkHeightTwips, QString());
}

// Frame fills the panel and Title runs across Frame's top; sizes are never refused.
void ucACARS::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Frame->setGeometry(rect());
    Title->setGeometry(0, 0, Frame->width(), Title->heightPixels());
}

// A box's whole text is selected when it gains the focus. A mouse press
// places the cursor after the focus-in, so a box focused by the mouse (or
// clicked while the window was not yet active) selects again on release; so
// does a click on a box that still shows the placeholder, which is no text
// to edit.
bool ucACARS::eventFilter(QObject* watched, QEvent* event)
{
    auto* textBox = qobject_cast<QLineEdit*>(watched);
    if (!textBox)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        Select_Text(textBox);
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
            m_selectOnRelease = textBox;
        break;
    case QEvent::MouseButtonPress:
        if (!textBox->hasFocus())
            m_selectOnRelease = textBox;
        break;
    case QEvent::MouseButtonRelease:
        if (m_selectOnRelease == textBox || textBox->text() == kPlaceholder)
            Select_Text(textBox);
        m_selectOnRelease = nullptr;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ucACARS::Select_Text(QLineEdit* textBox)
{
    textBox->setSelection(0, int(textBox->text().length()));
}

// A note on the panel rather than a pop-up: a pop-up would sit over the
// next box and swallow the pilot's click on it.
void ucACARS::Show_Refused_Character(const QString& hint)
{
    lblHint->setText(hint);
    lblHint->show();
    m_hintTimer->start();
}

void ucACARS::Set_Link_State(bool blnState, LinkLabel* link)
{
    link->setActive(blnState);
    link->setTextColor(blnState ? LinkLabel::kActiveColor : LinkLabel::kInactiveColor);
}

void ucACARS::Set_Flight_Date()
{
    m_flight.date = QDate::currentDate().toString(kDateFormat);
    lblACARS[VAL_DATE]->setText(m_flight.date);
}

// ---- the worker ----

// The tracker and the link live on the worker's thread; every request goes
// there queued and every answer comes back queued, in the order raised.
void ucACARS::startWorker()
{
    m_worker = new AcarsWorker(m_platform);
    m_workerThread = new QThread;
    m_workerThread->setObjectName(QStringLiteral("ACARS worker"));
    m_worker->moveToThread(m_workerThread);
    connect(m_worker, &AcarsWorker::started, this, &ucACARS::Worker_Started);
    connect(m_worker, &AcarsWorker::trackerEvent, this, &ucACARS::Worker_Event);
    connect(m_worker, &AcarsWorker::refreshed, this, &ucACARS::Worker_Refreshed);
    connect(m_worker, &AcarsWorker::failed, this, &ucACARS::Worker_Failed);
    connect(m_worker, &AcarsWorker::detailsTold, this, &ucACARS::Worker_Details);
    m_workerThread->start();
}

// A waiting exchange is cancelled for good (it ends within 50 ms on POSIX),
// then the thread is asked to end and given a bounded time; never terminated.
// A worker that does not end in time (a Windows message the simulator holds
// up to its own timeout) is left to the end of the process, which keeps the
// system platform to the last.
void ucACARS::stopWorker()
{
    ++m_generation;
    m_worker->close();
    m_workerThread->quit();
    if (!m_workerThread->wait(QDeadlineTimer(kWorkerStopWaitMs)))
        return;
    delete m_worker;
    delete m_workerThread;
    m_platform.clearCancel();
}

template <typename Request>
void ucACARS::Ask_Worker(Request request)
{
    m_blnRequestOutstanding = true;
    m_waitTimer->start();
    QMetaObject::invokeMethod(m_worker, std::move(request), Qt::QueuedConnection);
}

void ucACARS::Answered()
{
    m_blnRequestOutstanding = false;
    m_waitTimer->stop();
    if (m_stepLoop)
        m_stepLoop->quit();
    if (lblLink->text() == kWaitingText)
        Show_Link_Status(m_blnTracking ? kTrackingText.arg(m_strSimulator) : QString(), QString());
}

// Cancels the exchange in hand and lets its answer arrive (bounded), so that
// what the step recorded is shown and kept before the flight is judged.
void ucACARS::End_Step()
{
    if (!m_blnRequestOutstanding)
        return;
    m_platform.cancel();
    QEventLoop loop;
    m_stepLoop = &loop;
    QTimer::singleShot(kWorkerStopWaitMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_stepLoop = nullptr;
    AcarsWorker* worker = m_worker;
    QMetaObject::invokeMethod(m_worker, [worker] { worker->resume(); }, Qt::QueuedConnection);
}

void ucACARS::Worker_Started(int generation, bool ok, const QString& strResult, const QString& strSimulator)
{
    if (generation != m_generation)
        return;
    Answered();
    if (!ok) {
        m_dialogs.message(this, {AppInfo::title(), strResult, QMessageBox::NoIcon, QMessageBox::Ok});
        return;
    }
    // A flight that already has phases is being continued: it keeps the
    // date on which its tracking began.
    if (!m_flight.hasPhase())
        Set_Flight_Date();
    ACARS_ENABLE(true);
    ACARS_LINKS();
    m_blnSlewMode = false;
    hypACARS[LINK_MODE]->setCaption(kSlewModeCaption);
    m_strSimulator = strSimulator;
    Show_Link_Status(kTrackingText.arg(strSimulator), QString());
}

void ucACARS::Worker_Event(int generation, AcarsWorker::Event event, const QString& text)
{
    if (generation != m_generation)
        return;
    m_blnFlightChanged = true;
    using E = AcarsWorker::Event;
    switch (event) {
    case E::FlightOUT:
        m_flight.timeOut = text;
        lblACARS[VAL_OUT]->setText(timeText(text));
        break;
    case E::FlightOFF:
        m_flight.timeOff = text;
        lblACARS[VAL_OFF]->setText(timeText(text));
        break;
    case E::FlightON:
        m_flight.timeOn = text;
        lblACARS[VAL_ON]->setText(timeText(text));
        break;
    case E::FlightIN:
        m_flight.timeIn = text;
        lblACARS[VAL_IN]->setText(timeText(text));
        ACARS_ENABLE(false);
        ACARS_LINKS();
        break;
    case E::FlightTime:
        m_flight.flightTime = text;
        lblACARS[VAL_FLIGHT_TIME]->setText(text);
        break;
    case E::FlightTimeHHMM:
        m_flight.flightTimeHHMM = text;
        lblACARS[VAL_FLIGHT_TIME_HHMM]->setText(text);
        break;
    case E::FuelOut:
        m_flight.fuelOut = text;
        lblACARS[VAL_FUEL_OUT]->setText(fuelText(text));
        break;
    case E::FuelIn:
        m_flight.fuelIn = text;
        lblACARS[VAL_FUEL_IN]->setText(fuelText(text));
        break;
    case E::FuelUsed:
        m_flight.fuelUsed = text;
        lblACARS[VAL_FUEL_USED]->setText(fuelText(text));
        break;
    }
    // Kept at once: the rest of the step may wait long on the simulator.
    Keep_Flight();
}

// The end of one polling step: a closed link means the tracker gave the
// simulator up. A step after IN (reading fuel in again) ends the tracking;
// "Log Flight" is offered only now, with the step's fuel in.
void ucACARS::Worker_Refreshed(int generation, bool blnLinkOpen, const QString& strError)
{
    if (generation != m_generation)
        return;
    Answered();
    if (!blnLinkOpen) {
        Link_Lost(strError);
    } else if (m_flight.isArrived()) {
        ACARS_ENABLE(false);
        ACARS_LINKS();
    }
}

void ucACARS::Worker_Failed(int generation, const QString& strDescription)
{
    if (generation != m_generation)
        return;
    Answered();
    ACARS_LINKS();
    FlagGuard shown(m_blnErrorShown);
    Error_Report(m_dialogs, m_blnTracking ? kSourceTimer : kSourceOn, kErrWorkerFailure, strDescription);
}

// A box still showing the placeholder takes what the simulator tells, made
// fit for the log; the pilot's own text is never replaced.
void ucACARS::Worker_Details(int generation, const QString& strType, const QString& strId, const QString& strOrigin,
                             const QString& strDestination)
{
    if (generation != m_generation)
        return;
    const std::array<QString, kTextCount> told{strType, strId, strOrigin, strDestination};
    for (int i = 0; i < kTextCount; ++i) {
        const QString text = QString(told[i]).replace(QLatin1Char(','), QLatin1Char(' ')).simplified();
        if (!text.isEmpty() && txtACARS[i]->text() == kPlaceholder) {
            txtACARS[i]->setText(text);
            m_blnFlightChanged = true;
        }
    }
}

// ---- procedures ----

void ucACARS::UCI()
{
    try {
        connect(m_objNewLogEntry.get(), &clsLogEntry::NewLogEntrySaveOK, this,
                &ucACARS::m_objNewLogEntry_NewLogEntrySaveOK, Qt::DirectConnection);
        connect(m_objNewLogEntry.get(), &clsLogEntry::NewLogEntrySaveFail, this,
                &ucACARS::m_objNewLogEntry_NewLogEntrySaveFail, Qt::DirectConnection);
        startWorker();
        Set_Flight_Date();
        ACARS_CLEAR();
        ACARS_ENABLE(false);
        ACARS_LINKS();
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceUCI, error);
    }
}

void ucACARS::ACARS_CLEAR()
{
    for (int i = 0; i < kLiveValueCount; ++i)
        lblACARS[i]->clear();
    for (QLineEdit* textBox : txtACARS)
        textBox->setText(kPlaceholder);
}

void ucACARS::ACARS_ENABLE(bool bln)
{
    m_blnTracking = bln;
    for (int i = 0; i < kLiveValueCount; ++i)
        lblACARS[i]->setEnabled(bln);
    for (int i = 0; i < kLiveCaptionCount; ++i)
        lblCaption[i]->setEnabled(bln);
    Set_Link_State(!bln, hypACARS[LINK_ON]);
    Set_Link_State(!lblACARS[VAL_FLIGHT_TIME]->text().isEmpty() && !bln, hypACARS[LINK_LOG]);
    Set_Link_State(bln, hypACARS[LINK_MODE]);
    if (bln)
        tmr->start();
    else
        tmr->stop();
}

// An arrived flight offers "On" only while its fuel in is still to be read;
// neither link is offered while a step is still running.
void ucACARS::ACARS_LINKS()
{
    const bool blnArrived = m_flight.isArrived();
    const bool blnIdle = !m_blnTracking && !m_blnRequestOutstanding;
    Set_Link_State(blnIdle && (!blnArrived || !m_flight.fuelIn), hypACARS[LINK_ON]);
    Set_Link_State(blnIdle && blnArrived, hypACARS[LINK_LOG]);
    Set_Link_State(m_blnTracking, hypACARS[LINK_MODE]);
}

// Opening the link runs on the worker; the answer arrives in Worker_Started.
void ucACARS::ACARS_ON()
{
    if (m_blnRequestOutstanding || m_blnTracking)
        return;
    const int generation = m_generation;
    AcarsWorker* worker = m_worker;
    Ask_Worker([worker, generation] { worker->start(generation); });
}

void ucACARS::ACARS_MODE()
{
    BusyCursor busy;
    try {
        m_blnSlewMode = !m_blnSlewMode;
        if (m_blnSlewMode)
            tmr->stop();
        else
            tmr->start();
        hypACARS[LINK_MODE]->setCaption(m_blnSlewMode ? kNormalFlightCaption : kSlewModeCaption);
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceMode, error);
    }
}

// A tick asks the worker for one step unless the last is still running (the
// simulator is slow) or an error box is open; such ticks are dropped.
void ucACARS::tmr_Timer()
{
    if (m_blnRequestOutstanding || m_blnErrorShown)
        return;
    const int generation = m_generation;
    AcarsWorker* worker = m_worker;
    Ask_Worker([worker, generation] { worker->refresh(generation); });
}

// The tracker closed the link after a failed exchange and recorded nothing
// from it: stop polling, keep every value, and say so quietly in the panel and
// the status bar; a box would take the focus from a full-screen simulator.
void ucACARS::Link_Lost(const QString& strError)
{
    ACARS_ENABLE(false);
    ACARS_LINKS();
    QStringList lines{kLinkLostStatus.arg(strError), kLinkLostAdvice};
    if (!m_flight.timeOut.isEmpty() && !m_flight.fuelOut)
        lines << (m_flight.timeOff.isEmpty() ? kFuelOutMissing : kFuelOutLost);
    if (m_flight.isArrived() && !m_flight.fuelIn)
        lines << kFuelInMissing;
    Show_Link_Status(lines.join(QLatin1Char(' ')), kLinkLostStatus.arg(strError));
}

void ucACARS::Show_Link_Status(const QString& strPanel, const QString& strStatusBar)
{
    lblLink->setText(strPanel);
    emit linkStatusChanged(strStatusBar);
}

// "Reset" asks before it throws recorded phases away.
void ucACARS::ACARS_RESET()
{
    try {
        if (m_flight.hasPhase()
            && m_dialogs.ask(this, AppInfo::title(), kResetQuestion.arg(Flight_Summary()),
                             QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        Reset_Flight();
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceReset, error);
    }
}

// Back to Idle at once: a waiting exchange is cancelled and its answers, like
// those of any earlier request, are dropped.
void ucACARS::Reset_Flight()
{
    ++m_generation;
    if (m_blnRequestOutstanding)
        m_platform.cancel();
    m_blnRequestOutstanding = false;
    m_waitTimer->stop();
    AcarsWorker* worker = m_worker;
    QMetaObject::invokeMethod(m_worker, [worker] { worker->stop(); }, Qt::QueuedConnection);
    const QString date = m_flight.date;
    m_flight = FlightInProgress{};
    m_flight.date = date;
    Forget_Flight();
    ACARS_ENABLE(false);
    ACARS_CLEAR();
    ACARS_LINKS();
    Show_Link_Status(QString(), QString());
}

// No hourglass: the log panel's boxes are shown inside the save. Refused
// while a step may still bring the fuel in.
void ucACARS::ACARS_LOG()
{
    if (m_blnRequestOutstanding)
        return;
    try {
        clsLogEntry& record = *m_objNewLogEntry;
        record.setFLIGHT_DATE(lblACARS[VAL_DATE]->text());
        record.setAIRCRAFT_TYPE(txtACARS[TXT_TYPE]->text());
        record.setAIRCRAFT_ID(txtACARS[TXT_ID]->text());
        record.setFLIGHT_ORIGIN(txtACARS[TXT_ORIGIN]->text());
        record.setTIME_OUT(lblACARS[VAL_OUT]->text());
        record.setTIME_OFF(lblACARS[VAL_OFF]->text());
        record.setFUEL_OUT(lblACARS[VAL_FUEL_OUT]->text());
        record.setFLIGHT_DESTINATION(txtACARS[TXT_DESTINATION]->text());
        record.setTIME_ON(lblACARS[VAL_ON]->text());
        record.setTIME_IN(lblACARS[VAL_IN]->text());
        record.setFUEL_IN(lblACARS[VAL_FUEL_IN]->text());
        record.setFLIGHT_TIME(lblACARS[VAL_FLIGHT_TIME]->text());
        record.setFLIGHT_TIME_HHMM(lblACARS[VAL_FLIGHT_TIME_HHMM]->text());
        record.setFUEL_USED(lblACARS[VAL_FUEL_USED]->text());
        // The log panel saves and answers inside this call; on success this
        // panel has been reset when it returns.
        record.New_Log_Entry_Save();
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceLog, error);
    }
}

void ucACARS::hypACARS_Click(int index)
{
    switch (index) {
    case LINK_ON:
        ACARS_ON();
        break;
    case LINK_MODE:
        ACARS_MODE();
        break;
    case LINK_LOG:
        ACARS_LOG();
        break;
    case LINK_RESET:
        ACARS_RESET();
        break;
    default:
        break;
    }
}

// ---- the flight in progress ----

// A failed write leaves the flight marked changed, so that the next change
// or the end of the program tries again.
void ucACARS::Keep_Flight()
{
    m_keepTimer->stop();
    for (int i = 0; i < kTextCount; ++i)
        m_flight.boxes[i] = txtACARS[i]->text();
    if (!m_flight.hasPhase())
        return Forget_Flight();
    QString strError;
    m_blnFlightChanged = !m_flight.save(m_strFlightPath, strError);
    if (m_blnFlightChanged)
        Show_Link_Status(kKeepFailedText.arg(strError), kKeepFailedText.arg(strError));
}

void ucACARS::Forget_Flight()
{
    m_keepTimer->stop();
    m_blnFlightChanged = false;
    QFile::remove(m_strFlightPath);
}

QString ucACARS::Flight_Summary() const
{
    QStringList parts{m_flight.date};
    for (const QString& box : m_flight.boxes)
        if (!box.isEmpty() && box != kPlaceholder)
            parts << box;
    const std::pair<const char*, QString> phases[] = {
        {"OUT", m_flight.timeOut}, {"OFF", m_flight.timeOff}, {"ON", m_flight.timeOn}, {"IN", m_flight.timeIn}};
    for (const auto& [name, time] : phases)
        if (!time.isEmpty())
            parts << QStringLiteral("%1 %2").arg(QLatin1String(name), timeText(time));
    return parts.join(QStringLiteral("  "));
}

// The panel as it was when the flight was kept; its tracker takes it up, so
// that "On" continues it.
void ucACARS::Show_Flight()
{
    lblACARS[VAL_DATE]->setText(m_flight.date);
    for (int i = 0; i < kTextCount; ++i)
        txtACARS[i]->setText(m_flight.boxes[i]);
    lblACARS[VAL_OUT]->setText(timeText(m_flight.timeOut));
    lblACARS[VAL_OFF]->setText(timeText(m_flight.timeOff));
    lblACARS[VAL_ON]->setText(timeText(m_flight.timeOn));
    lblACARS[VAL_IN]->setText(timeText(m_flight.timeIn));
    lblACARS[VAL_FLIGHT_TIME]->setText(m_flight.flightTime);
    lblACARS[VAL_FLIGHT_TIME_HHMM]->setText(m_flight.flightTimeHHMM);
    lblACARS[VAL_FUEL_OUT]->setText(fuelText(m_flight.fuelOut.value_or(QString())));
    lblACARS[VAL_FUEL_IN]->setText(fuelText(m_flight.fuelIn.value_or(QString())));
    lblACARS[VAL_FUEL_USED]->setText(fuelText(m_flight.fuelUsed));

    FlightPhases phases;
    phases.strTimeOut = m_flight.timeOut.toStdString();
    phases.strTimeOff = m_flight.timeOff.toStdString();
    phases.strTimeOn = m_flight.timeOn.toStdString();
    phases.strTimeIn = m_flight.timeIn.toStdString();
    if (m_flight.fuelOut)
        phases.fuelOut = m_flight.fuelOut->toStdString();
    if (m_flight.fuelIn)
        phases.fuelIn = m_flight.fuelIn->toStdString();
    AcarsWorker* worker = m_worker;
    QMetaObject::invokeMethod(m_worker, [worker, phases] { worker->restore(phases); }, Qt::QueuedConnection);
    ACARS_ENABLE(false);
    ACARS_LINKS();
    if (!m_flight.isArrived() || !m_flight.fuelIn)
        Show_Link_Status(kContinueText, QString());
}

void ucACARS::Offer_Saved_Flight()
{
    FlightInProgress saved;
    QString strError;
    switch (FlightInProgress::load(m_strFlightPath, saved, strError)) {
    case FlightInProgress::Loaded::None:
        return;
    case FlightInProgress::Loaded::Damaged: {
        const QString path = QDir::toNativeSeparators(m_strFlightPath);
        const QString aside = FlightInProgress::setAside(m_strFlightPath);
        m_dialogs.warn(this, AppInfo::title(),
                       aside.isEmpty() ? kDamagedNotMovedText.arg(path, strError)
                                       : kDamagedFlightText.arg(path, strError, QDir::toNativeSeparators(aside)));
        return;
    }
    case FlightInProgress::Loaded::Flight:
        break;
    }
    if (!saved.hasPhase())
        return Forget_Flight();
    m_flight = saved;
    if (m_dialogs.ask(this, AppInfo::title(), kSavedFlightQuestion.arg(Flight_Summary()),
                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
        Show_Flight();
        return;
    }
    m_flight = FlightInProgress{};
    Set_Flight_Date();
    Forget_Flight();
}

// An arrived flight still reading its fuel in has that read cancelled and
// its answer awaited, so that the question is asked of the flight as its file
// holds it; no step starts under the question.
bool ucACARS::queryClose()
{
    m_blnDiscardOnClose = false;
    if (m_flight.isArrived())
        End_Step();
    if (m_blnFlightChanged)
        Keep_Flight();
    if (m_flight.isArrived()) {
        const bool blnPolling = tmr->isActive();
        tmr->stop();
        bool blnCloses = false;
        switch (m_dialogs.ask(this, AppInfo::title(), kArrivedCloseQuestion.arg(Flight_Summary()),
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel)) {
        case QMessageBox::Save:
            ACARS_LOG();
            blnCloses = !m_flight.isArrived(); // a failed save keeps the window open
            break;
        case QMessageBox::Discard:
            m_blnDiscardOnClose = true;
            return true;
        default:
            break;
        }
        if (!blnCloses && blnPolling && m_blnTracking)
            tmr->start();
        return blnCloses;
    }
    if (m_flight.hasPhase())
        return m_dialogs.ask(this, AppInfo::title(), kKeptOnCloseText.arg(Flight_Summary()),
                             QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    return true;
}

void ucACARS::Close_Agreed()
{
    if (m_blnDiscardOnClose)
        Reset_Flight();
}

// ---- record events ----

void ucACARS::m_objNewLogEntry_NewLogEntrySaveOK()
{
    Reset_Flight();
}

void ucACARS::m_objNewLogEntry_NewLogEntrySaveFail()
{
    m_dialogs.message(this, {AppInfo::title() + QStringLiteral(" Log Entry"), kSaveFailText, QMessageBox::Warning,
                             QMessageBox::Ok});
}
