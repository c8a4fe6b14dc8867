// The flight log loader on any bytes: no crash, no hang, and a log that loads
// whole saves back to bytes that load to the same table.

#include "modfunctions.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

bool sameTable(const LogTable& a, const LogTable& b)
{
    if (a.rowCount() != b.rowCount())
        return false;
    for (qsizetype row = 0; row < a.rowCount(); ++row) {
        for (int column = 0; column < LogTable::kColumnCount; ++column) {
            if (a.cell(row, column) != b.cell(row, column))
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    LogTable table;
    const LoadResult first = loadLogBytes(table, bytes, QStringLiteral("fuzz.txt"));
    if (first.rowsKept != table.rowCount() || first.complete == bool(table.incompleteLoad()))
        std::abort();
    if (!first.complete)
        return 0;

    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    if (!writeLogLines(table, saved).ok)
        std::abort();   // whatever loads whole must save
    LogTable again;
    const LoadResult second = loadLogBytes(again, saved.data(), QStringLiteral("fuzz.txt"));
    if (!second.complete || !sameTable(table, again))
        std::abort();
    return 0;
}
