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
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QFocusEvent>
#include <QValidator>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

const QString kSaveFailText = QStringLiteral("This entry was NOT saved due to the application error");
const QString kLinkLostAdvice =
    QStringLiteral("Tracking has stopped; the times recorded so far are kept.\r\n"
                   "Click On to continue this flight once the simulator answers again, or Reset to discard it.");
const QString kRefusedCharacterHint = QStringLiteral("Commas and line breaks are not allowed here.");
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
// so either would split the flight's line. Refused input is reported.
class LogFieldValidator : public QValidator {
public:
    LogFieldValidator(std::function<void()> onRefused, QObject* parent)
        : QValidator(parent), m_onRefused(std::move(onRefused))
    {
    }

    State validate(QString& input, int&) const override
    {
        if (!containsSeparator(input))
            return Acceptable;
        m_onRefused();
        return Invalid;
    }

    static bool containsSeparator(const QString& text)
    {
        return text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('\n'))
               || text.contains(QLatin1Char('\r'));
    }

private:
    std::function<void()> m_onRefused;
};

// Clears a flag when the scope ends, however it ends.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
};

QString timeText(const std::string& strTime) { return QString::fromStdString(strTime) + kTimeSuffix; }
QString fuelText(const std::string& strFuel) { return QString::fromStdString(strFuel) + kFuelSuffix; }

} // namespace

ucACARS::ucACARS(std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent, IpcPlatform& platform)
    : QWidget(parent), m_objNewLogEntry(std::move(record)), m_dialogs(dialogs)
{
    buildControls();
    UCI(platform);
}

ucACARS::~ucACARS()
{
    tmr->stop();
    if (m_objACARS)
        m_objACARS->setEvents(nullptr);
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
    textBox->setValidator(new LogFieldValidator([this] { Show_Refused_Character(); }, textBox));
    textBox->installEventFilter(this);
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
void ucACARS::Show_Refused_Character()
{
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
    lblACARS[VAL_DATE]->setText(QDate::currentDate().toString(kDateFormat));
}

// ---- procedures ----

void ucACARS::UCI(IpcPlatform& platform)
{
    try {
        connect(m_objNewLogEntry.get(), &clsLogEntry::NewLogEntrySaveOK, this,
                &ucACARS::m_objNewLogEntry_NewLogEntrySaveOK, Qt::DirectConnection);
        connect(m_objNewLogEntry.get(), &clsLogEntry::NewLogEntrySaveFail, this,
                &ucACARS::m_objNewLogEntry_NewLogEntrySaveFail, Qt::DirectConnection);
        m_objACARS = std::make_unique<clsACARS>(platform);
        m_objACARS->setEvents(this);
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

void ucACARS::ACARS_LINKS()
{
    if (!m_objACARS)
        return;
    const bool blnArrived = !m_objACARS->TIME_IN().empty();
    Set_Link_State(!blnArrived && !m_blnTracking, hypACARS[LINK_ON]);
    Set_Link_State(blnArrived, hypACARS[LINK_LOG]);
    Set_Link_State(m_blnTracking, hypACARS[LINK_MODE]);
}

void ucACARS::ACARS_ON()
{
    std::optional<BusyCursor> busy(std::in_place);
    try {
        if (m_objACARS) {
            // A flight that already has phases is being continued after a lost
            // link: it keeps the date on which its tracking began.
            const bool blnNewFlight = m_objACARS->TIME_OUT().empty() && m_objACARS->TIME_OFF().empty();
            std::string strResult;
            if (m_objACARS->Start(strResult)) {
                if (blnNewFlight)
                    Set_Flight_Date();
                ACARS_ENABLE(true);
                ACARS_LINKS();
                m_blnSlewMode = false;
                hypACARS[LINK_MODE]->setCaption(kSlewModeCaption);
            } else {
                busy.reset();
                m_dialogs.message(this, {AppInfo::title(), QString::fromStdString(strResult), QMessageBox::NoIcon,
                                         QMessageBox::Ok});
            }
        }
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceOn, error);
    }
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

// Ticks that fall while an earlier tick (or the box it shows) is still
// running are dropped, so a repeating failure shows one box at a time.
void ucACARS::tmr_Timer()
{
    if (m_blnTickRunning)
        return;
    FlagGuard running(m_blnTickRunning);
    m_strLinkError.clear();
    try {
        if (m_objACARS) {
            m_objACARS->Refresh();
            if (m_blnTracking && !m_objACARS->isLinkOpen())
                Link_Lost();
        }
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceTimer, error);
    }
}

// The tracker closed the link after a failed exchange and recorded nothing
// from it: stop polling, keep every value, tell the pilot once, offer "On".
void ucACARS::Link_Lost()
{
    ACARS_ENABLE(false);
    ACARS_LINKS();
    const QString strError = m_strLinkError.isEmpty() ? QString() : m_strLinkError + QStringLiteral("\r\n\r\n");
    m_dialogs.message(this, {AppInfo::title(), strError + kLinkLostAdvice, QMessageBox::Warning, QMessageBox::Ok});
}

void ucACARS::ACARS_RESET()
{
    BusyCursor busy;
    try {
        if (m_objACARS) {
            m_objACARS->Stop_();
            m_objACARS->Reset();
            ACARS_ENABLE(false);
            ACARS_CLEAR();
            ACARS_LINKS();
        }
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceReset, error);
    }
}

void ucACARS::ACARS_LOG()
{
    BusyCursor busy;
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

// ---- record events ----

void ucACARS::m_objNewLogEntry_NewLogEntrySaveOK()
{
    ACARS_RESET();
}

void ucACARS::m_objNewLogEntry_NewLogEntrySaveFail()
{
    m_dialogs.message(this, {AppInfo::title() + QStringLiteral(" Log Entry"), kSaveFailText, QMessageBox::Warning,
                             QMessageBox::Ok});
}

// ---- tracker events ----

void ucACARS::FlightOUT(const std::string& strOUT)
{
    lblACARS[VAL_OUT]->setText(timeText(strOUT));
}

void ucACARS::FlightOFF(const std::string& strOFF)
{
    lblACARS[VAL_OFF]->setText(timeText(strOFF));
}

void ucACARS::FlightON(const std::string& strON)
{
    lblACARS[VAL_ON]->setText(timeText(strON));
}

void ucACARS::FlightIN(const std::string& strIN)
{
    lblACARS[VAL_IN]->setText(timeText(strIN));
    ACARS_ENABLE(false);
    ACARS_LINKS();
}

void ucACARS::FlightTime(const std::string& strFlightTime)
{
    lblACARS[VAL_FLIGHT_TIME]->setText(QString::fromStdString(strFlightTime));
}

void ucACARS::FlightTimeHHMM(const std::string& strFlightTimeHHMM)
{
    lblACARS[VAL_FLIGHT_TIME_HHMM]->setText(QString::fromStdString(strFlightTimeHHMM));
}

void ucACARS::FuelOut(const std::string& strFuelOut)
{
    lblACARS[VAL_FUEL_OUT]->setText(fuelText(strFuelOut));
}

void ucACARS::FuelIn(const std::string& strFuelIn)
{
    lblACARS[VAL_FUEL_IN]->setText(fuelText(strFuelIn));
}

void ucACARS::FuelUsed(const std::string& strFuelUsed)
{
    lblACARS[VAL_FUEL_USED]->setText(fuelText(strFuelUsed));
}

// Both close the link; the text is kept until the tick ends, which then
// decides whether the link is lost.
void ucACARS::FSClosed(const std::string& strError)
{
    if (m_strLinkError.isEmpty())
        m_strLinkError = QString::fromStdString(strError);
}

void ucACARS::Error(const std::string& strError)
{
    FSClosed(strError);
}
