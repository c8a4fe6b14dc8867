#include "modfunctions.h"

#include "largepages.h"
#include "logerrors.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr qsizetype kGrowthRows = 101;
constexpr int kColumns = LogTable::kColumnCount;
// Logged lines are about 90 bytes; reserving for 48-byte lines spares the
// row records the copies of step-by-step growth without touching memory.
constexpr qsizetype kShortestTypicalLineBytes = 48;
// Small enough to stay in the heap's reused memory (no fresh pages per save).
constexpr qsizetype kWriteChunkBytes = 64 * 1024;

constexpr const char* kHeadings[kColumns] = {
    "Date", "Aircraft Type", "Aircraft ID", "Origin", "Time Out", "Time Off", "Fuel Out",
    "Destination", "Time On", "Time In", "Fuel In", "Time", "HH:MM", "Fuel Used"};

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

// Line number as a text editor counts it: CR LF, CR and LF each end a line.
qsizetype editorLineNumber(const char* data, qsizetype offset)
{
    qsizetype line = 1;
    for (qsizetype i = 0; i < offset; ++i) {
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 >= offset || data[i + 1] != '\n')))
            ++line;
    }
    return line;
}

LoadResult parseLog(LogTable& table, int block, const char* data, qsizetype size, const QString& strPath);

qsizetype countFields(const char* begin, const char* end)
{
    return 1 + std::count(begin, end, ',');
}

void markIncomplete(LogTable& table, LoadResult& result, const QString& path, qsizetype line,
                    const QString& reason)
{
    result.complete = false;
    result.failedLine = line;
    result.reason = reason;
    table.setIncompleteLoad(LogTable::IncompleteLoad{path, line, reason});
}

void reportLoadError(LoadResult& result, qint32 number, const QString& description)
{
    result.errorNumber = number;
    result.errorDescription = description;
}

// Marks a load under way, so that a failure part way leaves no table that
// may be saved over the file; a load that finishes whole clears it.
void markUnfinished(LogTable& table, const QString& path)
{
    table.setIncompleteLoad(LogTable::IncompleteLoad{path, 0, QStringLiteral("the load did not finish")});
}

struct LineFault {
    qsizetype line = 0;
    QString reason;
    qint32 number = 0;
    QString description;
};

// Names the line that LF alone ends in a file of CR line ends; `effect` says
// what became of that line.
LineFault mixedLineEndFault(const char* data, qsizetype lf, const QString& path, qint32 number, const QString& effect)
{
    LineFault fault;
    fault.number = number;
    fault.line = editorLineNumber(data, lf);
    fault.reason = QStringLiteral("the file mixes CR LF and LF line ends: line %1 ends with LF alone").arg(fault.line);
    fault.description = QStringLiteral("The flight log %1 mixes CR LF and LF line ends: line %2 ends with LF "
                                       "alone%3 Give every line the same end (a text editor can convert them).")
                            .arg(nativePath(path))
                            .arg(fault.line)
                            .arg(effect);
    return fault;
}

// A line whose number of fields is not 14, named at the line to mend. In a
// file of CR line ends a LF alone inside the line is the likely cause: a line
// ended by LF alone runs on into the next.
LineFault fieldCountFault(const char* data, qsizetype pos, qsizetype stop, char lineEnd, const QString& path)
{
    const qsizetype fields = countFields(data + pos, data + stop);
    const qint32 number = fields < kColumns ? LogErrors::kShortLine : LogErrors::kExtraFields;
    const QString consequence = fields < kColumns
        ? QStringLiteral("The flights before it are loaded.")
        : QStringLiteral("Only its first 14 fields are loaded, and the log will not be saved until it is mended.");
    const auto* lf = static_cast<const char*>(
        lineEnd == '\r' ? std::memchr(data + pos, '\n', static_cast<std::size_t>(stop - pos)) : nullptr);
    if (lf) {
        return mixedLineEndFault(data, lf - data, path, number,
                                 QStringLiteral(", so it runs on into the next line as one flight of %1 fields. %2")
                                     .arg(fields)
                                     .arg(consequence));
    }
    LineFault fault;
    fault.number = number;
    fault.line = editorLineNumber(data, pos);
    fault.reason = fields < kColumns
        ? QStringLiteral("line %1 holds %2 fields; a flight needs 14").arg(fault.line).arg(fields)
        : QStringLiteral("line %1 holds %2 fields; only the first 14 are kept").arg(fault.line).arg(fields);
    fault.description = QStringLiteral("Line %1 of the flight log %2 holds %3 fields; a flight has 14. %4")
                            .arg(fault.line)
                            .arg(nativePath(path))
                            .arg(fields)
                            .arg(consequence);
    return fault;
}

struct FileBytes {
    std::shared_ptr<const char> data;
    qsizetype size = 0;
};

// The whole file, or an error text. Bytes appended while reading are read too.
bool readWholeFile(const QString& path, FileBytes& bytes, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const qsizetype expected = file.size();
    std::shared_ptr<char> buffer = allocateLargeBuffer(static_cast<std::size_t>(std::max<qsizetype>(expected, 1)));
    qsizetype done = 0;
    while (done < expected) {
        const qint64 got = file.read(buffer.get() + done, expected - done);
        if (got < 0) {
            error = file.errorString();
            return false;
        }
        if (got == 0)
            break;
        done += got;
    }
    const QByteArray rest = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    if (!rest.isEmpty()) {
        std::shared_ptr<char> whole = allocateLargeBuffer(static_cast<std::size_t>(done + rest.size()));
        std::memcpy(whole.get(), buffer.get(), static_cast<std::size_t>(done));
        std::memcpy(whole.get() + done, rest.constData(), static_cast<std::size_t>(rest.size()));
        buffer = std::move(whole);
        done += rest.size();
    }
    bytes = FileBytes{std::move(buffer), done};
    return true;
}

QString badCellMessage(const LogTable& table, qsizetype row)
{
    for (int column = 0; column < kColumns; ++column) {
        const std::string_view cell = table.cell(row, column);
        const bool comma = cell.find(',') != std::string_view::npos;
        if (comma || cell.find('\r') != std::string_view::npos) {
            return QStringLiteral("Row %1, column \"%2\" holds %3, which the flight log file cannot keep. "
                                  "Remove it and save again.")
                .arg(row + 1)
                .arg(columnHeading(column), comma ? QStringLiteral("a \",\"") : QStringLiteral("a line break"));
        }
    }
    return {};
}

// True when the row's line is its cells joined by "," with nothing the
// format cannot keep.
bool isWritable(std::string_view line)
{
    return std::count(line.begin(), line.end(), ',') == kColumns - 1 && line.find('\r') == std::string_view::npos;
}

// Keeps the file about to be replaced in the backup folder: a hard link to it
// where the file system allows (the save puts a new file in its place and
// leaves the old one to the link), else a copy. Returns the backup's path,
// or an empty text with `error` set.
QString keepBackup(const QString& logPath, QString& error)
{
    const QString folder = backupFolder(logPath);
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("the folder cannot be made");
        return {};
    }
    // Names sort in the order of the saves, also for saves within one millisecond.
    QDateTime stamp = QDateTime::currentDateTimeUtc();
    QString backup;
    do {
        backup = folder + QStringLiteral("/flightlog-") + stamp.toString(QStringLiteral("yyyy-MM-dd_HHmmss.zzz"))
            + QStringLiteral("Z.txt");
        stamp = stamp.addMSecs(1);
    } while (QFileInfo::exists(backup));
#ifdef Q_OS_UNIX
    if (::linkat(AT_FDCWD, QFile::encodeName(logPath).constData(), AT_FDCWD, QFile::encodeName(backup).constData(),
                 AT_SYMLINK_FOLLOW) == 0)
        return backup;
#endif
    QFile old(logPath);
    if (!old.copy(backup)) {
        error = old.errorString();
        return {};
    }
    return backup;
}

// The oldest backups go by the time their file was written, not by their
// names: after the clock is set back, the newest have the earliest names.
void pruneBackups(const QString& logPath)
{
    QDir folder(backupFolder(logPath));
    QFileInfoList backups = folder.entryInfoList({QStringLiteral("flightlog-*.txt")}, QDir::Files, QDir::Name);
    std::stable_sort(backups.begin(), backups.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() < b.lastModified();
    });
    for (qsizetype i = 0; i + kBackupsKept < backups.size(); ++i)
        folder.remove(backups[i].fileName());
}

} // namespace

QString backupFolder(const QString& strLogPath)
{
    return QFileInfo(strLogPath).absolutePath() + QStringLiteral("/backups");
}

QString App_Directory_For(const QString& strDirectory)
{
    QString directory = QDir::toNativeSeparators(strDirectory);
    if (!directory.endsWith(QDir::separator()))
        directory += QDir::separator();
    return directory;
}

QString App_Directory()
{
    return App_Directory_For(QCoreApplication::applicationDirPath());
}

QString FlightLog_Path()
{
#ifdef Q_OS_WIN
    return App_Directory() + QStringLiteral("flightlog.txt");
#else
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = dataHome + QStringLiteral("/Quillon");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/flightlog.txt");
#endif
}

QString columnHeading(int column)
{
    if (column < 0 || column >= kColumns)
        return {};
    return QString::fromLatin1(kHeadings[column]);
}

LoadResult Load_XArray(LogTable& table, const QString& strPath)
{
    table.clear();
    LoadResult result;
    if (!QFileInfo::exists(strPath))
        return result;
    result.fileFound = true;
    markUnfinished(table, strPath);
    try {
        FileBytes bytes;
        QString error;
        if (!readWholeFile(strPath, bytes, error)) {
            const QString reason = QStringLiteral("the file cannot be read: %1").arg(error);
            markIncomplete(table, result, strPath, 0, reason);
            reportLoadError(result, LogErrors::kUnreadableFile,
                            QStringLiteral("The flight log %1 cannot be read: %2").arg(nativePath(strPath), error));
            return result;
        }
        const int block = table.adoptBlock(bytes.data, bytes.size);
        return parseLog(table, block, bytes.data.get(), bytes.size, strPath);
    } catch (const std::exception& e) {
        const QString what = QString::fromLocal8Bit(e.what());
        markIncomplete(table, result, strPath, 0, QStringLiteral("the load failed: %1").arg(what));
        reportLoadError(result, LogErrors::kLoadFailed,
                        QStringLiteral("The flight log %1 could not be loaded (%2). It will not be saved over "
                                       "until it loads whole.")
                            .arg(nativePath(strPath), what));
        return result;
    }
}

LoadResult loadLogBytes(LogTable& table, const QByteArray& bytes, const QString& strPath)
{
    table.clear();
    markUnfinished(table, strPath);
    const int block = table.adoptBlock(bytes);
    return parseLog(table, block, bytes.constData(), bytes.size(), strPath);
}

namespace {

LoadResult parseLog(LogTable& table, int block, const char* data, qsizetype size, const QString& strPath)
{
    LoadResult result;
    result.fileFound = true;
    // A file without any CR was written with LF line ends.
    const char lineEnd = std::memchr(data, '\r', static_cast<std::size_t>(size)) ? '\r' : '\n';

    table.reserve(size / kShortestTypicalLineBytes + kGrowthRows);
    table.resize(kGrowthRows);
    qsizetype lastRow = -1;

    qsizetype pos = 0;
    while (pos < size) {
        // Split one line at every "," up to its end, keeping the first 14 fields.
        std::array<std::uint32_t, kColumns> ends{};
        int fields = 0;
        qsizetype i = pos;
        for (; i < size && data[i] != lineEnd; ++i) {
            if (data[i] == ',' && fields < kColumns)
                ends[static_cast<std::size_t>(fields++)] = static_cast<std::uint32_t>(i - pos);
        }
        const qsizetype lineStop = i;
        qsizetype next = lineStop + 1;
        if (lineEnd == '\r' && next < size && data[next] == '\n')
            ++next;

        if (lineStop == pos) {   // an empty line is no flight
            pos = next;
            continue;
        }
        if (lineStop - pos > std::numeric_limits<std::uint32_t>::max()) {
            const qsizetype line = editorLineNumber(data, pos);
            const QString reason = QStringLiteral("line %1 is longer than 4 GiB").arg(line);
            markIncomplete(table, result, strPath, line, reason);
            reportLoadError(result, LogErrors::kLineTooLong,
                            QStringLiteral("Line %1 of the flight log %2 is longer than 4 GiB.")
                                .arg(line)
                                .arg(nativePath(strPath)));
            break;
        }
        const bool extraFields = fields == kColumns;
        if (fields < kColumns)
            ends[static_cast<std::size_t>(fields++)] = static_cast<std::uint32_t>(lineStop - pos);
        // A flight whose last field ends in LF in a file of CR line ends: a line
        // ended by LF alone with nothing after it to run on into (often the last,
        // added by hand). The LF is no part of the flight.
        const bool endsInLfAlone = !extraFields && fields == kColumns && lineEnd == '\r' && data[lineStop - 1] == '\n';
        if (endsInLfAlone)
            --ends[kColumns - 1];
        // A short line stops the load; of the other faults the first is named.
        if (fields < kColumns || ((extraFields || endsInLfAlone) && result.complete)) {
            const LineFault fault = endsInLfAlone
                ? mixedLineEndFault(data, lineStop - 1, strPath, LogErrors::kMixedLineEnds,
                                    QStringLiteral(". Its flight is loaded, and the log will not be saved until "
                                                   "it is mended."))
                : fieldCountFault(data, pos, lineStop, lineEnd, strPath);
            markIncomplete(table, result, strPath, fault.line, fault.reason);
            reportLoadError(result, fault.number, fault.description);
            if (fields < kColumns)
                break;
        }

        const qsizetype row = lastRow + 1;
        if (row >= table.rowCount())
            table.resize(table.rowCount() + kGrowthRows);
        table.setRowFromBlock(row, block, static_cast<std::uint64_t>(pos), ends);
        lastRow = row;
        pos = next;
    }

    table.resize(lastRow + 1);
    result.rowsKept = table.rowCount();
    Sort_XArray(table, 0);
    if (result.complete)
        table.setIncompleteLoad(std::nullopt);
    return result;
}

} // namespace

LogTable::RowMoves Sort_XArray(LogTable& table, int column)
{
    if (table.rowCount() < 2)
        return {};
    if (column == 0)
        return table.sortRows(0, table.rowCount() - 1, 0, LogTable::SortKey::Date);
    if (column == 1)
        return table.sortRows(0, table.rowCount() - 1, 1, LogTable::SortKey::Bytes);
    return {};
}

SaveResult writeLogLines(const LogTable& table, QIODevice& device)
{
    SaveResult result;
    std::vector<char> chunk(static_cast<std::size_t>(kWriteChunkBytes));
    qsizetype filled = 0;
    const auto write = [&](const char* bytes, qsizetype size) {
        if (device.write(bytes, size) == size)
            return true;
        result.errorNumber = LogErrors::kSaveFailed;
        result.message = device.errorString();
        return false;
    };

    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        const std::string_view line = table.rowSpan(row);
        if (!isWritable(line)) {
            result.errorNumber = LogErrors::kBadCellCharacter;
            result.message = badCellMessage(table, row);
            return result;
        }
        const auto size = static_cast<qsizetype>(line.size());
        if (filled + size + 2 > kWriteChunkBytes) {
            if (!write(chunk.data(), filled))
                return result;
            filled = 0;
        }
        if (size + 2 > kWriteChunkBytes) {   // a line longer than the chunk goes out on its own
            if (!write(line.data(), size) || !write("\r\n", 2))
                return result;
            continue;
        }
        std::memcpy(chunk.data() + filled, line.data(), line.size());
        chunk[static_cast<std::size_t>(filled + size)] = '\r';
        chunk[static_cast<std::size_t>(filled + size + 1)] = '\n';
        filled += size + 2;
    }
    if (filled > 0 && !write(chunk.data(), filled))
        return result;
    result.ok = true;
    return result;
}

SaveResult saveLogTable(const LogTable& table, const QString& strPath)
{
    SaveResult result;
    if (const auto& incomplete = table.incompleteLoad()) {
        result.errorNumber = LogErrors::kSaveRefused;
        // An unreadable file has no line to name.
        const QString mend = incomplete->line > 0 ? QStringLiteral("Mend that line in the file")
                                                  : QStringLiteral("Make the file readable");
        result.message =
            QStringLiteral("The flight log was not saved, so that no flight is lost: %1 did not load completely "
                           "(%2). %3, then use Undo to load it again.")
                .arg(nativePath(incomplete->path), incomplete->reason, mend);
        return result;
    }

    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        result.errorNumber = LogErrors::kSaveFailed;
        result.message = QStringLiteral("Cannot write file %1:\n%2.").arg(nativePath(strPath), file.errorString());
        return result;
    }
    result = writeLogLines(table, file);
    if (!result.ok) {
        file.cancelWriting();
        result.message = QStringLiteral("The flight log %1 was not saved: %2").arg(nativePath(strPath), result.message);
        return result;
    }
    QString backup;
    if (QFileInfo::exists(strPath)) {
        QString error;
        backup = keepBackup(strPath, error);
        if (backup.isEmpty()) {
            file.cancelWriting();
            result.ok = false;
            result.errorNumber = LogErrors::kSaveFailed;
            result.message = QStringLiteral("The flight log %1 was not saved: no backup of it could be made in %2 (%3).")
                                 .arg(nativePath(strPath), nativePath(backupFolder(strPath)), error);
            return result;
        }
    }
    if (!file.commit()) {
        QFile::remove(backup);
        result.ok = false;
        result.errorNumber = LogErrors::kSaveFailed;
        result.message = QStringLiteral("Cannot write file %1:\n%2.").arg(nativePath(strPath), file.errorString());
        return result;
    }
    pruneBackups(strPath);
    return result;
}
