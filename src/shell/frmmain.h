#pragma once

#include <QMainWindow>

#include <memory>

class Dialogs;
class QFrame;
class QLabel;
class QTimer;
class SourceSelector;
class clsLogEntry;
class clsUTC;
class ucACARS;
class ucAppFrame;
class ucCharts;
class ucFlightLog;
class ucStats;

// The main window: the side bar frame with the three panels, the menus, the
// status bar with the UTC clock, and the three colours kept per user.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // Per-user colour settings: group, keys and defaults (0x00BBGGRR).
    static constexpr const char* kSettingsGroup = "Options";
    static constexpr const char* kLinkColorKey = "Link Color";
    static constexpr const char* kMenuBackColorKey = "Menu Back Color";
    static constexpr const char* kMenuForeColorKey = "Menu Fore Color";
    static constexpr qint32 kDefaultLinkColor = 0xFFC0C0;     // light blue
    static constexpr qint32 kDefaultMenuBackColor = 0xC0FFFF; // light yellow
    static constexpr qint32 kDefaultMenuForeColor = 18;       // near black

    static constexpr int kClientWidthTwips = 8850;
    static constexpr int kClientHeightTwips = 5985;
    static constexpr int kStatusPanelWidthTwips = 1440;
    static constexpr int kFrameGapTwips = 50;
    static constexpr int kClockIntervalMs = 10000;
    static constexpr int kDateTimeIntervalMs = 1000;

    static constexpr qint32 kErrTypeMismatch = 13;
    static constexpr qint32 kErrOverflow = 6;
    static constexpr qint32 kErrFileNotFound = 53;
    static constexpr qint32 kErrFileAccess = 75; // browser or settings store refused

    // The clock and the record are shared: the window and its panels keep them
    // alive for as long as they use them.
    frmMain(std::shared_ptr<clsUTC> utc, std::shared_ptr<clsLogEntry> record, Dialogs& dialogs,
            QWidget* parent = nullptr);
    ~frmMain() override;

    ucAppFrame* appFrame() const { return m_ucAppFrame; }
    ucACARS* acarsPanel() const { return m_ucACARS; }
    ucFlightLog* flightLogPanel() const { return m_ucFlightLog; }
    ucStats* statsPanel() const { return m_ucStats; }
    ucCharts* chartsPanel() const { return m_ucCharts; } // none in a build without Qt Charts
    // Status bar panels 1..4.
    QLabel* statusPanel(int index) const;
    QTimer* clockTimer() const { return m_ZTimer; }
    QTimer* dateTimeTimer() const { return m_tmrDateTime; }
    // The platform the ACARS panel's tracker opens: the simulator chosen in Options, Simulator.
    SourceSelector& sourceSelector() const { return *m_sourceSelector; }

    // The user guide opened by Help, Contents; beside the program by default.
    static QString defaultUserGuidePath();
    void setUserGuidePath(const QString& path) { m_strGuidePath = path; }

    // Decimal text to colour; AppError 13 for a text that is not a number, 6
    // for one outside 32 bits.
    static qint32 colorFromSettingText(const QString& text);

    // Ended from outside (a termination signal; on Windows the end of the
    // session): closes without a question;
    // a flight in progress stays in its file and nothing is written to the log.
    void closeFromOutside();

signals:
    // The close has been accepted: the program-wide objects can be released.
    void unloading();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildStatusBar();
    void buildFrame(const std::shared_ptr<clsLogEntry>& record);
    void buildImageLists();
    void placeWindow();

    void Form_Load();
    void Form_Initialize();
    void Form_Resize();
    bool Form_QueryUnload();
    void ZTimer_Timer();
    void refreshDateTime();
    void startTimers();
    void stopTimers();

    void showFlightsInLog(const QList<QByteArray>& flights);
    void mnuFileExit_Click();
    void mnuOptionsMenuBackColor_Click();
    void mnuOptionsMenuCaptionColor_Click();
    void mnuOptionsLinkColor_Click();
    void mnuOptionsReset_Click();
    void mnuOptionsSimulator_Click();
    // Panel 1 names the simulator the link is open to, else shows the notice.
    void showSimulator(const QString& description);
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    void ucFlightLog_RefusingEdit();

    void ApplyLinkColor(qint32 color);
    void ApplyMenuBackColor(qint32 color);
    void ApplyMenuForeColor(qint32 color);
    // Picker preset with the stored colour; Cancel changes nothing.
    void chooseColor(const char* key, qint32 defaultColor, void (frmMain::*apply)(qint32), const QString& strSource,
                     const QString& title);

    std::shared_ptr<clsUTC> m_objUTC;
    std::unique_ptr<SourceSelector> m_sourceSelector;
    Dialogs& m_dialogs;
    QString m_strGuidePath;

    QWidget* m_client = nullptr;
    QFrame* m_lineTitle = nullptr;
    ucAppFrame* m_ucAppFrame = nullptr;
    ucACARS* m_ucACARS = nullptr;
    ucFlightLog* m_ucFlightLog = nullptr;
    ucStats* m_ucStats = nullptr;
    ucCharts* m_ucCharts = nullptr;
    QLabel* m_statusPanels[4] = {};
    QTimer* m_ZTimer = nullptr;
    QTimer* m_tmrDateTime = nullptr;
    QAction* m_mnuHelpAbout = nullptr;
    bool m_blnEndingFromOutside = false;
};
