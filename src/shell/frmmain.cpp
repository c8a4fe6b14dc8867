#include "frmmain.h"

#include "apperror.h"
#include "appinfo.h"
#include "artwork.h"
#include "busycursor.h"
#include "clslogentry.h"
#include "clsutc.h"
#include "colors.h"
#include "dialogs.h"
#include "errorreport.h"
#include "frmabout.h"
#include "frmsimulator.h"
#include "imagelist.h"
#include "sourceselector.h"
#include "twips.h"
#include "ucacars.h"
#include "ucappframe.h"
#ifdef QUILLON_CHARTS
#include "uccharts.h"
#endif
#include "ucflightlog.h"
#include "ucstats.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <limits>
#include <optional>

namespace {
const QString kNotice = QStringLiteral("For Flight Simulation Purposes Only");
const QString kSimulatorPrefix = QStringLiteral("Simulator: ");
const QString kSourceInitialize = QStringLiteral("frmMain.Form_Initialize()");
const QString kSourceShowFlights = QStringLiteral("frmMain.showFlightsInLog()");
const QString kSourceHelpContents = QStringLiteral("frmMain.mnuHelpContents_Click()");
const QString kFlightLogKey = QStringLiteral("FlightLog");
const QString kSmallIcons = QStringLiteral("imgSmallIcons");
const QString kLargeIcons = QStringLiteral("imgLargeIcons");
// Images 1..5 of both lists: three side bar items, the program, then the charts item.
const char* const kIconNames[] = {"acars", "flightlog", "timebytype", "quillon", "charts"};

QFont arial(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}

const QString kSettingsOrganization = QStringLiteral("Quillon");
const QString kSettingsApplication = QStringLiteral("Quillon");

QString settingKey(const char* key)
{
    return QString::fromLatin1(frmMain::kSettingsGroup) + QLatin1Char('/') + QLatin1String(key);
}

qint32 readColor(const char* key, qint32 defaultColor)
{
    const QSettings settings(kSettingsOrganization, kSettingsApplication);
    const QString text = settings.value(settingKey(key), QString::number(defaultColor)).toString();
    return frmMain::colorFromSettingText(text);
}

// The picker opens on the stored colour; a stored text that is not a colour
// (already reported at start-up) gives way to the default.
qint32 readColorOrDefault(const char* key, qint32 defaultColor)
{
    try {
        return readColor(key, defaultColor);
    } catch (const AppError&) {
        return defaultColor;
    }
}

void saveColor(const char* key, qint32 color)
{
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.setValue(settingKey(key), QString::number(color));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw AppError(frmMain::kErrFileAccess,
                       QStringLiteral("Cannot write the settings to %1.").arg(QDir::toNativeSeparators(settings.fileName())));
}
} // namespace

frmMain::frmMain(std::shared_ptr<clsUTC> utc, std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_objUTC(std::move(utc)), m_sourceSelector(std::make_unique<SourceSelector>()),
      m_dialogs(dialogs), m_strGuidePath(defaultUserGuidePath())
{
    m_sourceSelector->setSource(frmSimulator::storedSource());
    // Called on whatever thread opens the link: the label is set on this one.
    m_sourceSelector->setConnectionHook([this](const std::string& description) {
        QMetaObject::invokeMethod(this, [this, text = QString::fromStdString(description)] { showSimulator(text); },
                                  Qt::QueuedConnection);
    });
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(Artwork::icon(QStringLiteral("quillon")));
    buildMenus();
    buildStatusBar();
    buildImageLists();
    buildFrame(record);
    Form_Load();
    Form_Initialize();
    placeWindow();
    startTimers();
}

// The panel's tracker holds the selector: the panel ends first.
frmMain::~frmMain()
{
    m_sourceSelector->setConnectionHook({});
    delete m_ucACARS;
}

void frmMain::buildMenus()
{
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption, void (frmMain::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    auto addSeparator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(QLatin1String(name)); };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    addItem(file, "mnuFileExit", QStringLiteral("E&xit"), &frmMain::mnuFileExit_Click);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    addItem(options, "mnuOptionsMenuBackColor", QStringLiteral("Change Menu Bar &Background Color"),
            &frmMain::mnuOptionsMenuBackColor_Click);
    addItem(options, "mnuOptionsMenuCaptionColor", QStringLiteral("Change Menu Bar &Caption Color"),
            &frmMain::mnuOptionsMenuCaptionColor_Click);
    addSeparator(options, "mnuSep1");
    addItem(options, "mnuOptionsLinkColor", QStringLiteral("Change &Link Bar Background Color"),
            &frmMain::mnuOptionsLinkColor_Click);
    addSeparator(options, "mnuOptionsSep");
    addItem(options, "mnuOptionsReset", QStringLiteral("&Reset Default Colors"), &frmMain::mnuOptionsReset_Click);
    addSeparator(options, "mnuOptionsSimulatorSep");
    addItem(options, "mnuOptionsSimulator", QStringLiteral("&Simulator..."), &frmMain::mnuOptionsSimulator_Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addItem(help, "mnuHelpContents", QStringLiteral("&Contents ..."), &frmMain::mnuHelpContents_Click);
    addSeparator(help, "mnuHelpSep");
    m_mnuHelpAbout = addItem(help, "mnuHelpAbout", QStringLiteral("&About"), &frmMain::mnuHelpAbout_Click);
}

// Panel 1 stretches; the date, time and UTC panels keep 1440 twips each.
void frmMain::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("barStatus"));
    bar->setFont(arial(8.25));
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("sbrPanel%1").arg(i + 1));
        panel->setFont(bar->font());
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        if (i == 0) {
            bar->addWidget(panel, 1);
        } else {
            panel->setMinimumWidth(twipsToPixelsX(kStatusPanelWidthTwips, this));
            panel->setAlignment(Qt::AlignCenter);
            bar->addPermanentWidget(panel);
        }
        m_statusPanels[i] = panel;
    }
    m_statusPanels[0]->setText(kNotice);
    m_statusPanels[0]->setToolTip(kNotice);
    refreshDateTime();

    m_ZTimer = new QTimer(this);
    m_ZTimer->setObjectName(QStringLiteral("ZTimer"));
    m_ZTimer->setInterval(kClockIntervalMs);
    connect(m_ZTimer, &QTimer::timeout, this, &frmMain::ZTimer_Timer);
    m_tmrDateTime = new QTimer(this);
    m_tmrDateTime->setInterval(kDateTimeIntervalMs);
    connect(m_tmrDateTime, &QTimer::timeout, this, &frmMain::refreshDateTime);
}

void frmMain::buildImageLists()
{
    auto* small = new ImageList(kSmallIcons, QSize(16, 16), this);
    auto* large = new ImageList(kLargeIcons, QSize(32, 32), this);
    for (const char* name : kIconNames) {
        const QIcon icon = Artwork::icon(QLatin1String(name));
        small->add(icon);
        large->add(icon);
    }
}

void frmMain::buildFrame(const std::shared_ptr<clsLogEntry>& record)
{
    m_client = new QWidget(this);
    m_client->installEventFilter(this);
    setCentralWidget(m_client);

    m_lineTitle = new QFrame(m_client);
    m_lineTitle->setObjectName(QStringLiteral("lineTitle"));
    m_lineTitle->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    m_lineTitle->setFixedHeight(2);

    m_ucAppFrame = new ucAppFrame(m_client);
    m_ucAppFrame->setObjectName(QStringLiteral("ucAppFrame"));
    m_ucAppFrame->setSmallIcons(kSmallIcons);
    m_ucAppFrame->setLargeIcons(kLargeIcons);

    m_ucACARS = new ucACARS(record, m_dialogs, m_ucAppFrame, *m_sourceSelector);
    m_ucACARS->setObjectName(QStringLiteral("ucACARS"));
    connect(m_ucACARS, &ucACARS::linkStatusChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    });
    m_ucFlightLog = new ucFlightLog(record, m_dialogs, m_ucAppFrame);
    m_ucFlightLog->setObjectName(QStringLiteral("ucFlightLog"));
    connect(m_ucFlightLog, &ucFlightLog::refusingEdit, this, &frmMain::ucFlightLog_RefusingEdit);
    m_ucStats = new ucStats(m_dialogs, m_ucAppFrame);
    m_ucStats->setObjectName(QStringLiteral("ucStats"));
#ifdef QUILLON_CHARTS
    m_ucCharts = new ucCharts(m_dialogs, m_ucAppFrame);
    m_ucCharts->setObjectName(QStringLiteral("ucCharts"));
    connect(m_ucFlightLog, &ucFlightLog::logSaved, m_ucCharts, &ucCharts::logSaved);
    connect(m_ucCharts, &ucCharts::flightsChosen, this, &frmMain::showFlightsInLog);
#endif
}

// A chart's bar was clicked: its flights, selected in the flight log panel.
void frmMain::showFlightsInLog(const QList<QByteArray>& flights)
{
    try {
        m_ucAppFrame->SetActivePanel(QStringLiteral("FlightLog"));
        m_ucFlightLog->selectFlights(flights);
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceShowFlights, error);
    }
}

// Centred on the screen with a client area of 8850 x 5985 twips below the menu bar.
void frmMain::placeWindow()
{
    const QSize client(twipsToPixelsX(kClientWidthTwips, this), twipsToPixelsY(kClientHeightTwips, this));
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmMain::Form_Load()
{
    setWindowTitle(AppInfo::productName());
    m_mnuHelpAbout->setText(QStringLiteral("&About ") + AppInfo::title());
}

// A stored colour that is not a number stops here: the later colours keep
// their look and the items added before stay.
void frmMain::Form_Initialize()
{
    try {
        m_statusPanels[3]->setText(QString::fromStdString(m_objUTC->GetUTC()));
        m_ucAppFrame->AddItem(QStringLiteral("ACARS"), QStringLiteral("ACARS"), QStringLiteral("ACARS"), 1,
                              QStringLiteral("ucACARS"));
        m_ucAppFrame->AddItem(kFlightLogKey, QStringLiteral("Flight Log"), QStringLiteral("Flight Log"), 2,
                              QStringLiteral("ucFlightLog"));
        m_ucAppFrame->AddItem(QStringLiteral("TimebyACType"), QStringLiteral("Time by AC Type"),
                              QStringLiteral("Time by AC Type"), 3, QStringLiteral("ucStats"));
#ifdef QUILLON_CHARTS
        m_ucAppFrame->AddItem(QStringLiteral("Charts"), QStringLiteral("Charts"), QStringLiteral("Charts"), 5,
                              QStringLiteral("ucCharts"));
#endif
        ApplyLinkColor(readColor(kLinkColorKey, kDefaultLinkColor));
        ApplyMenuBackColor(readColor(kMenuBackColorKey, kDefaultMenuBackColor));
        ApplyMenuForeColor(readColor(kMenuForeColorKey, kDefaultMenuForeColor));
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceInitialize, error);
    }
}

qint32 frmMain::colorFromSettingText(const QString& text)
{
    bool isNumber = false;
    const qint64 value = text.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        throw AppError(kErrTypeMismatch, QStringLiteral("Type mismatch"));
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        throw AppError(kErrOverflow, QStringLiteral("Overflow"));
    return qint32(value);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

// Too small a window leaves the frame at its last valid height.
void frmMain::Form_Resize()
{
    const int width = m_client->width();
    m_lineTitle->setGeometry(0, 0, width, m_lineTitle->height());
    const int top = m_lineTitle->height();
    const int height = m_client->height() - top - twipsToPixelsY(kFrameGapTwips, this);
    m_ucAppFrame->setGeometry(0, top, width, height < 0 ? m_ucAppFrame->height() : height);
}

void frmMain::ZTimer_Timer()
{
    m_statusPanels[3]->setText(QString::fromStdString(m_objUTC->GetUTC()));
}

void frmMain::refreshDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    m_statusPanels[1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_statusPanels[2]->setText(locale.toString(now.time(), QLocale::ShortFormat));
}

void frmMain::startTimers()
{
    m_ZTimer->start();
    m_tmrDateTime->start();
}

void frmMain::stopTimers()
{
    m_ZTimer->stop();
    m_tmrDateTime->stop();
}

QLabel* frmMain::statusPanel(int index) const
{
    return m_statusPanels[index - 1];
}

// The clocks stop before the flight log asks its question, so nothing ticks
// inside that box; a cancelled or failed save keeps the window open.
void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_blnEndingFromOutside) {
        stopTimers();
    } else if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
    emit unloading();
}

bool frmMain::Form_QueryUnload()
{
    stopTimers();
    if (m_ucACARS->queryClose() && m_ucFlightLog->queryClose()) {
        m_ucACARS->Close_Agreed();
        return true;
    }
    startTimers();
    return false;
}

void frmMain::closeFromOutside()
{
    m_blnEndingFromOutside = true;
    close();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

// The pilot must see the cell that a box is about to talk about.
void frmMain::ucFlightLog_RefusingEdit()
{
    try {
        m_ucAppFrame->SetActivePanel(kFlightLogKey);
    } catch (const AppError&) {
        // The item is missing only when the window's initialisation failed,
        // which was reported then; the box still explains the refusal.
    }
}

void frmMain::ApplyLinkColor(qint32 color)
{
    m_ucACARS->setTitle_BackColor(color);
    m_ucFlightLog->setTitle_BackColor(color);
    m_ucStats->setTitle_BackColor(color);
#ifdef QUILLON_CHARTS
    m_ucCharts->setTitle_BackColor(color);
#endif
}

void frmMain::ApplyMenuBackColor(qint32 color)
{
    m_ucAppFrame->setBackColor(color);
}

void frmMain::ApplyMenuForeColor(qint32 color)
{
    m_ucAppFrame->setForeColor(color);
}

void frmMain::chooseColor(const char* key, qint32 defaultColor, void (frmMain::*apply)(qint32),
                          const QString& strSource, const QString& title)
{
    try {
        const std::optional<QColor> chosen =
            m_dialogs.pickColor(this, colorFromBgr(readColorOrDefault(key, defaultColor)), title);
        if (!chosen)
            return;
        const qint32 color = bgrFromColor(*chosen);
        BusyCursor busy;
        saveColor(key, color);
        (this->*apply)(color);
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, strSource, error);
    }
}

void frmMain::mnuOptionsMenuBackColor_Click()
{
    chooseColor(kMenuBackColorKey, kDefaultMenuBackColor, &frmMain::ApplyMenuBackColor,
                QStringLiteral("frmMain.mnuOptionsMenuBackColor_Click()"), QStringLiteral("Menu Bar Background Color"));
}

void frmMain::mnuOptionsMenuCaptionColor_Click()
{
    chooseColor(kMenuForeColorKey, kDefaultMenuForeColor, &frmMain::ApplyMenuForeColor,
                QStringLiteral("frmMain.mnuOptionsMenuCaptionColor_Click()"), QStringLiteral("Menu Bar Caption Color"));
}

void frmMain::mnuOptionsLinkColor_Click()
{
    chooseColor(kLinkColorKey, kDefaultLinkColor, &frmMain::ApplyLinkColor,
                QStringLiteral("frmMain.mnuOptionsLinkColor_Click()"), QStringLiteral("Link Bar Background Color"));
}

void frmMain::mnuOptionsReset_Click()
{
    try {
        BusyCursor busy;
        saveColor(kLinkColorKey, kDefaultLinkColor);
        ApplyLinkColor(kDefaultLinkColor);
        saveColor(kMenuBackColorKey, kDefaultMenuBackColor);
        ApplyMenuBackColor(kDefaultMenuBackColor);
        saveColor(kMenuForeColorKey, kDefaultMenuForeColor);
        ApplyMenuForeColor(kDefaultMenuForeColor);
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, QStringLiteral("frmMain.mnuOptionsReset_Click()"), error);
    }
}

void frmMain::mnuOptionsSimulator_Click()
{
    try {
        frmSimulator dialog(m_sourceSelector->source(), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        if (QString strError; !dialog.storeKey(strError))
            throw AppError(kErrFileAccess, strError);
        if (!frmSimulator::storeSource(dialog.source()))
            throw AppError(kErrFileAccess, QStringLiteral("Cannot write the settings."));
        m_sourceSelector->setSource(dialog.source());
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, QStringLiteral("frmMain.mnuOptionsSimulator_Click()"), error);
    }
}

void frmMain::showSimulator(const QString& description)
{
    const QString text = description.isEmpty() ? kNotice : kSimulatorPrefix + description;
    m_statusPanels[0]->setText(text);
    m_statusPanels[0]->setToolTip(text);
}

QString frmMain::defaultUserGuidePath()
{
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(QUILLON_GUIDE_FROM_BIN)));
}

void frmMain::mnuHelpContents_Click()
{
    try {
        const QString nativePath = QDir::toNativeSeparators(m_strGuidePath);
        if (!QFileInfo(m_strGuidePath).isFile())
            throw AppError(kErrFileNotFound, QStringLiteral("File not found: %1").arg(nativePath));
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_strGuidePath)))
            throw AppError(kErrFileAccess, QStringLiteral("No browser could open %1").arg(nativePath));
    } catch (const std::exception& error) {
        Error_Report(m_dialogs, kSourceHelpContents, error);
    }
}

void frmMain::mnuHelpAbout_Click()
{
    frmAbout about(this);
    about.exec();
}
