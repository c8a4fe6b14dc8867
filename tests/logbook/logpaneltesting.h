#pragma once

// Shared by the log tests: flight lines, the log file, and the panel driven
// as the pilot drives it (links, headings, typing into cells).

#include "flightlogview.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "modfunctions.h"
#include "paneltitle.h"

#include <QtTest>
#include <QHeaderView>
#include <QLineEdit>

namespace logpanel {

// A flight line of 14 fields; the aircraft ID names the flight in checks.
inline QByteArray flight(const QByteArray& date, const QByteArray& type, const QByteArray& id,
                         const QByteArray& time = "1.2")
{
    return date + "," + type + "," + id + ",EGLL,1000Z,1010Z,9000 lbs,LFPG,1100Z,1110Z,8000 lbs," + time
           + ",1:12,1000 lbs";
}

inline QByteArray linesOf(const QList<QByteArray>& lines)
{
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

inline void writeLogFile(const QByteArray& bytes, const QString& path = FlightLog_Path())
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readLogFile(const QString& path = FlightLog_Path())
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void removeLogFile()
{
    const QString path = FlightLog_Path();
    QDir(path).removeRecursively();   // some tests put a folder in the file's place
    QFile::remove(path);
    QVERIFY(!QFileInfo::exists(path));
}

// The text of a PDF file as pdftotext lays it out; empty when it cannot be read.
inline QString pdfText(const QString& path)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    const bool read = pdftotext.waitForFinished(30000) && pdftotext.exitCode() == 0;
    return read ? QString::fromUtf8(pdftotext.readAllStandardOutput()) : QString();
}

inline void clickLink(QWidget& panel, int index)
{
    QTest::mouseClick(panel.findChild<PanelTitle*>(QStringLiteral("Title"))->links()->link(index), Qt::LeftButton);
}

inline void clickHeading(FlightLogView& grid, int column)
{
    QHeaderView* headings = grid.horizontalHeader();
    const QPoint centre(headings->sectionViewportPosition(column) + headings->sectionSize(column) / 2,
                        headings->height() / 2);
    QTest::mouseClick(headings->viewport(), Qt::LeftButton, {}, centre);
}

// Opens the cell's editor and types `text` over its value, leaving it in editing.
inline void typeInto(FlightLogView& grid, int row, int column, const QString& text)
{
    const QModelIndex index = grid.model()->index(row, column);
    grid.setCurrentIndex(index);
    grid.edit(index);
    QLineEdit* editor = grid.cellEditor();
    QVERIFY(editor);
    editor->selectAll();
    editor->del();
    QTest::keyClicks(editor, text);
}

// Types `text` into the cell and presses Enter; the grid commits after the key has been handled.
inline void enterInto(FlightLogView& grid, int row, int column, const QString& text)
{
    typeInto(grid, row, column, text);
    QTest::keyClick(grid.cellEditor(), Qt::Key_Return);
    QCoreApplication::processEvents();
}

} // namespace logpanel
