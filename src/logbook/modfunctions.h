#pragma once

#include "apperror.h"
#include "logtable.h"

#include <QString>

class QIODevice;

// The flight log file: where it lives, reading it into a table, sorting,
// and writing it back.

// Error report source of every failure of the loader.
inline constexpr char kLoadXArraySource[] = "modFunctions.Load_XArray()";

// The program's directory with exactly one trailing separator.
QString App_Directory();
// Windows: App_Directory() + "flightlog.txt". Elsewhere the program's
// directory is not writable once installed, so the log lives in
// GenericDataLocation + "/Quillon/flightlog.txt"; the folder is created here.
QString FlightLog_Path();
// A directory in native separators with exactly one trailing separator
// (a root such as "C:\" or "/" comes back unchanged).
QString App_Directory_For(const QString& strDirectory);

// Grid heading of a log column ("Date" ... "Fuel Used").
QString columnHeading(int column);

struct LoadResult {
    bool fileFound = false;
    bool complete = true;        // false: the table holds only part of the file
    qsizetype rowsKept = 0;
    qsizetype failedLine = 0;    // 1-based line that stopped or spoilt the load, 0 if none
    QString reason;              // why the load is incomplete; empty when complete
    // Non-zero: show the error report, source kLoadXArraySource.
    qint32 errorNumber = 0;
    QString errorDescription;

    AppError error() const { return AppError(errorNumber, errorDescription); }
};

// Fills `table` (expected empty) from the file in one pass: lines end at
// CR LF or CR (a LF alone stays in the text), or at LF in a file without any
// CR; empty lines are skipped; the first 14 fields of a line are kept. A
// missing file leaves the table empty. A load that stops early or meets a
// line of more than 14 fields keeps the rows read, cut to size, and marks the
// table incomplete (see LogTable::incompleteLoad); so does any failure, which
// is returned, never thrown. Ends by sorting the rows by date.
LoadResult Load_XArray(LogTable& table, const QString& strPath = FlightLog_Path());
// The same from bytes already read; `strPath` names the source in messages.
LoadResult loadLogBytes(LogTable& table, const QByteArray& bytes, const QString& strPath);

// Column 0: by date; column 1: by aircraft type; any other column: nothing.
// Returns where each row went (empty when none moved).
LogTable::RowMoves Sort_XArray(LogTable& table, int column);

struct SaveResult {
    bool ok = false;
    qint32 errorNumber = 0;      // LogErrors number when !ok
    QString message;             // what went wrong, naming the file; empty when ok

    AppError error() const { return AppError(errorNumber, message); }
};

// The folder beside the log that keeps the files replaced by the last saves.
QString backupFolder(const QString& strLogPath = FlightLog_Path());
inline constexpr int kBackupsKept = 10;

// Replaces the file with every row in table order, 14 fields joined by ","
// and CR LF after each line. Written beside the old file, flushed and renamed
// over it: a failure leaves the old file whole. The old file is kept first in
// backupFolder() as "flightlog-<UTC date and time>.txt", the newest
// kBackupsKept of them staying; a save whose backup cannot be made is refused.
// Refused too for a table that did not load whole, and for a cell holding ","
// or CR.
SaveResult saveLogTable(const LogTable& table, const QString& strPath = FlightLog_Path());
// The lines alone, to any device; refuses a cell holding "," or CR, but
// does not look at LogTable::incompleteLoad().
SaveResult writeLogLines(const LogTable& table, QIODevice& device);
