#pragma once

#include "largepages.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The flight log in memory: rows of 14 byte-string cells. Cells hold the
// file's bytes exactly (8-bit text in the system encoding); cellText() decodes
// them for display only. A row's cells lie side by side in one byte block,
// separated by one byte, so a loaded row points straight into the file's bytes
// and a log costs its file size plus 64 bytes per row.
// Rows are addressed by qsizetype: no 16-bit limit.
class LogTable {
public:
    static constexpr int kColumnCount = 14;

    // Why the rows in memory are not the whole file they came from.
    struct IncompleteLoad {
        QString path;         // the file that did not load whole
        qsizetype line = 0;   // 1-based line of the file to mend
        QString reason;       // what is wrong with it
    };

    LogTable();
    LogTable(const LogTable&) = delete;
    LogTable& operator=(const LogTable&) = delete;
    LogTable(LogTable&&) noexcept;
    LogTable& operator=(LogTable&&) noexcept;
    ~LogTable();

    qsizetype rowCount() const { return static_cast<qsizetype>(m_rows.size()); }
    // Sets the number of rows, keeping the rows that remain; new rows are empty.
    void resize(qsizetype rows);
    // Room for this many rows without moving the row records (no effect on rowCount).
    void reserve(qsizetype rows);
    // Removes every row and forgets an incomplete load.
    void clear();

    // Invalidated by the next change of the table. Inline: the charts and the
    // totals read a million rows' cells in one pass.
    std::string_view cell(qsizetype row, int column) const
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount)
            checkIndex(row, column);   // throws
        const Row& r = m_rows[static_cast<std::size_t>(row)];
        const std::uint32_t start = column == 0 ? 0 : r.end[static_cast<std::size_t>(column) - 1] + 1;
        const std::uint32_t end = r.end[static_cast<std::size_t>(column)];
        if (end == start)
            return {};
        return {rowBytes(r) + start, end - start};
    }
    QByteArray cellBytes(qsizetype row, int column) const;
    QString cellText(qsizetype row, int column) const;   // decoded from the system encoding
    void setCell(qsizetype row, int column, std::string_view bytes);
    void setCellText(qsizetype row, int column, const QString& text);   // encoded to the system encoding
    // Writes all 14 cells of a row at once (cheaper than 14 setCell calls).
    void setRow(qsizetype row, const std::array<std::string_view, kColumnCount>& cells);

    // Rows first..first+count-1 in one move of the rows after them.
    void removeRows(qsizetype first, qsizetype count);

    // yyyymmdd for a valid "yyyy-mm-dd" date (year 1 on), 0 for any other
    // text: what the date sort and the charts take for a date.
    static std::uint32_t dateKey(std::string_view text);

    enum class SortKey {
        Date,   // "yyyy-mm-dd" dates chronologically, then every other text in byte order
        Bytes,  // byte order; texts are equal only when byte-identical
    };
    // Where each row went: moved[row - first] is its new index - first;
    // empty when no row moved.
    using RowMoves = std::vector<std::uint32_t>;
    // Stable ascending sort of rows first..last (inclusive) by one column.
    RowMoves sortRows(qsizetype first, qsizetype last, int column, SortKey key);

    // Set by the loader when the file did not load whole; saving over it is refused.
    const std::optional<IncompleteLoad>& incompleteLoad() const { return m_incompleteLoad; }
    void setIncompleteLoad(std::optional<IncompleteLoad> incomplete) { m_incompleteLoad = std::move(incomplete); }

    // Loader entry: `bytes` becomes a block of the table (shared, never
    // written); the row at `row` takes its cells from the line starting at
    // `lineStart`, whose 14 fields end at the given offsets (relative to
    // `lineStart`, each field followed by one separator byte). Returns the
    // block's index for later rows.
    int adoptBlock(const QByteArray& bytes);
    int adoptBlock(std::shared_ptr<const char> bytes, qsizetype size);
    void setRowFromBlock(qsizetype row, int block, std::uint64_t lineStart,
                         const std::array<std::uint32_t, kColumnCount>& fieldEnds);

    // A row's 14 cells joined by "," as one contiguous byte range: the row's
    // line in the file, provided no cell holds ",". Used by the writer.
    std::string_view rowSpan(qsizetype row) const;

private:
    // Where the row's bytes lie: block index in the top 24 bits, offset of
    // cell 0 in that block in the low 40 bits.
    static constexpr int kOffsetBits = 40;
    static constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kOffsetBits) - 1;
    struct Row {
        std::uint64_t location;
        std::array<std::uint32_t, kColumnCount> end;   // end of each cell, relative to cell 0
    };
    static_assert(sizeof(Row) == 64);

    struct Block {
        std::shared_ptr<const char> bytes;
        qsizetype size = 0;
        qsizetype used = 0;
    };

    static Row emptyRow();
    const char* rowBytes(const Row& row) const
    {
        const Block& block = m_blocks[static_cast<std::size_t>(row.location >> kOffsetBits)];
        return block.bytes.get() + (row.location & kOffsetMask);
    }
    char* appendBytes(qsizetype size, std::uint64_t& location);
    void checkIndex(qsizetype row, int column) const;
    void checkRow(qsizetype row) const;

    std::vector<Row, LargePageAllocator<Row>> m_rows;
    std::vector<Block> m_blocks;
    std::shared_ptr<char> m_editBytes;   // the block that edits append to
    std::optional<IncompleteLoad> m_incompleteLoad;
};
