#include "ucstats.h"

#include "busycursor.h"
#include "errorreport.h"
#include "flightstats.h"
#include "linklabelgroup.h"
#include "modfunctions.h"
#include "panelframe.h"
#include "paneltitle.h"
#include "twips.h"

#include <QPlainTextEdit>

#include <algorithm>

namespace {
const QString kSourceDisplayFlightStats = QStringLiteral("ucStats.Display_Flight_Stats()");
constexpr PanelLink kLinks[] = {{"Refresh Flight Totals by Aircraft Type", 240, 3600}};
constexpr int kTextGapTwips = 25;   // left under the text area
} // namespace

ucStats::ucStats(Dialogs& dialogs, QWidget* parent, ReportBuilder build)
    : QWidget(parent), m_dialogs(dialogs), m_build(build ? std::move(build) : appendFlightStatsReport)
{
    m_frame = new PanelFrame(kLinks, this);
    connect(m_frame->title()->links(), &LinkLabelGroup::clicked, this, &ucStats::Display_Flight_Stats);

    m_txtStats = new QPlainTextEdit(m_frame);
    m_txtStats->setObjectName(QStringLiteral("txtStats"));
    m_txtStats->setReadOnly(true);
    m_txtStats->setFrameShape(QFrame::NoFrame);
    m_txtStats->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(8.25);
    m_txtStats->setFont(arial);
}

void ucStats::setTitle_BackColor(qint32 vData)
{
    m_frame->title()->setBackColor(vData);
}

QString ucStats::statsText() const
{
    return m_txtStats->toPlainText();
}

void ucStats::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void ucStats::placeControls()
{
    const QRect body = m_frame->fillPanel();
    const int gap = twipsToPixelsY(kTextGapTwips, this);
    m_txtStats->setGeometry(body.x(), body.y(), body.width(), std::max(0, body.height() - gap));
}

// Rebuilt from the saved file on every click: edits not yet saved in the
// flight log panel do not count. A failure shows the report as far as it was
// built, then the error.
void ucStats::Display_Flight_Stats()
{
    QString text;
    try {
        BusyCursor busy;
        LogTable table;
        const LoadResult loaded = Load_XArray(table);
        if (loaded.errorNumber != 0)
            Error_Report(m_dialogs, QString::fromLatin1(kLoadXArraySource), loaded.errorNumber,
                         loaded.errorDescription);
        m_build(table, text);
    } catch (const std::exception& e) {
        m_txtStats->setPlainText(text);
        Error_Report(m_dialogs, kSourceDisplayFlightStats, e);
        return;
    }
    m_txtStats->setPlainText(text);
}
