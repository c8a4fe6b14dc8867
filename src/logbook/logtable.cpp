#include "logtable.h"

#include "distincttexts.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

// Edits append new row images to blocks of this size; the old image stays
// until the table is cleared (edits are few next to the loaded rows).
constexpr qsizetype kEditBlockBytes = 64 * 1024;
constexpr char kSeparator = ',';

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Byte order (unsigned, as memcmp) of the distinct texts: rank[id].
std::vector<std::uint32_t> rankTexts(const std::vector<std::string_view>& texts)
{
    std::vector<std::uint32_t> order(texts.size());
    for (std::uint32_t id = 0; id < order.size(); ++id)
        order[id] = id;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
    std::vector<std::uint32_t> rank(texts.size());
    for (std::uint32_t position = 0; position < order.size(); ++position)
        rank[order[position]] = position;
    return rank;
}

using Indices = std::vector<std::uint32_t, LargePageAllocator<std::uint32_t>>;
using KeyedRows = std::vector<std::uint64_t, LargePageAllocator<std::uint64_t>>;

// Below this many rows a comparison sort beats the radix sort's bucket tables.
constexpr std::size_t kRadixSortRows = 4096;

// Sorts (key << 32 | row) values: unique, so any sort of them is stable by
// key. Large tables take two counting passes of 16 bits.
void sortByKey(KeyedRows& keyed)
{
    if (keyed.size() < kRadixSortRows) {
        std::sort(keyed.begin(), keyed.end());
        return;
    }
    KeyedRows spare(keyed.size());
    std::uint64_t largest = 0;
    for (std::uint64_t k : keyed)
        largest = std::max(largest, k);
    for (int shift = 32; shift < 64 && (largest >> shift) != 0; shift += 16) {
        std::vector<std::size_t> next(65536 + 1, 0);
        for (std::uint64_t k : keyed)
            ++next[((k >> shift) & 0xFFFF) + 1];
        for (std::size_t d = 1; d < next.size(); ++d)
            next[d] += next[d - 1];
        for (std::uint64_t k : keyed)
            spare[next[(k >> shift) & 0xFFFF]++] = k;
        keyed.swap(spare);
    }
}

} // namespace

std::uint32_t LogTable::dateKey(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return 0;
    std::uint32_t key = 0;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        const std::uint32_t digit = static_cast<unsigned char>(text[i]) - std::uint32_t{'0'};
        if (digit > 9)
            return 0;
        key = key * 10 + digit;
    }
    const int year = static_cast<int>(key / 10000);
    const int month = static_cast<int>(key / 100 % 100);
    const int day = static_cast<int>(key % 100);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return 0;
    return key;
}


LogTable::LogTable()
{
    clear();
}

LogTable::LogTable(LogTable&&) noexcept = default;
LogTable& LogTable::operator=(LogTable&&) noexcept = default;
LogTable::~LogTable() = default;

LogTable::Row LogTable::emptyRow()
{
    // Block 0 holds 13 separators: an empty row is a line of 13 commas.
    Row row{0, {}};
    for (int column = 0; column < kColumnCount; ++column)
        row.end[static_cast<std::size_t>(column)] = static_cast<std::uint32_t>(column);
    return row;
}

void LogTable::resize(qsizetype rows)
{
    if (rows < 0)
        throw std::out_of_range("LogTable: negative row count");
    m_rows.resize(static_cast<std::size_t>(rows), emptyRow());
}

void LogTable::reserve(qsizetype rows)
{
    m_rows.reserve(static_cast<std::size_t>(std::max<qsizetype>(rows, 0)));
}

void LogTable::clear()
{
    decltype(m_rows)().swap(m_rows);
    m_blocks.clear();
    m_editBytes.reset();
    adoptBlock(QByteArray(kColumnCount - 1, kSeparator));
    m_incompleteLoad.reset();
}

void LogTable::checkRow(qsizetype row) const
{
    if (row < 0 || row >= rowCount())
        throw std::out_of_range("LogTable: no row " + std::to_string(row));
}

void LogTable::checkIndex(qsizetype row, int column) const
{
    checkRow(row);
    if (column < 0 || column >= kColumnCount)
        throw std::out_of_range("LogTable: no column " + std::to_string(column));
}

QByteArray LogTable::cellBytes(qsizetype row, int column) const
{
    const std::string_view bytes = cell(row, column);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString LogTable::cellText(qsizetype row, int column) const
{
    const std::string_view bytes = cell(row, column);
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string_view LogTable::rowSpan(qsizetype row) const
{
    checkRow(row);
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    return {rowBytes(r), r.end[kColumnCount - 1]};
}

char* LogTable::appendBytes(qsizetype size, std::uint64_t& location)
{
    Block* block = &m_blocks.back();
    if (block->size - block->used < size || block->bytes.get() != m_editBytes.get()) {
        if (m_blocks.size() >= (std::size_t{1} << (64 - kOffsetBits)))
            throw std::length_error("LogTable: too many edits");
        const qsizetype capacity = std::max(size, kEditBlockBytes);
        m_editBytes = std::shared_ptr<char>(new char[static_cast<std::size_t>(capacity)], std::default_delete<char[]>());
        m_blocks.push_back(Block{m_editBytes, capacity, 0});
        block = &m_blocks.back();
    }
    location = (static_cast<std::uint64_t>(m_blocks.size() - 1) << kOffsetBits)
        | static_cast<std::uint64_t>(block->used);
    char* out = m_editBytes.get() + block->used;
    block->used += size;
    return out;
}

void LogTable::setRow(qsizetype row, const std::array<std::string_view, kColumnCount>& cells)
{
    checkRow(row);
    std::uint64_t size = kColumnCount - 1;
    for (std::string_view cell : cells)
        size += cell.size();
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("LogTable: row longer than 4 GiB");

    Row image{};
    char* out = appendBytes(static_cast<qsizetype>(size), image.location);
    std::uint32_t offset = 0;
    for (int column = 0; column < kColumnCount; ++column) {
        const std::string_view cell = cells[static_cast<std::size_t>(column)];
        if (column > 0)
            out[offset++] = kSeparator;
        if (!cell.empty())
            std::memcpy(out + offset, cell.data(), cell.size());
        offset += static_cast<std::uint32_t>(cell.size());
        image.end[static_cast<std::size_t>(column)] = offset;
    }
    m_rows[static_cast<std::size_t>(row)] = image;
}

void LogTable::setCell(qsizetype row, int column, std::string_view bytes)
{
    checkIndex(row, column);
    std::array<std::string_view, kColumnCount> cells;
    for (int c = 0; c < kColumnCount; ++c)
        cells[static_cast<std::size_t>(c)] = c == column ? bytes : cell(row, c);
    setRow(row, cells);
}

void LogTable::setCellText(qsizetype row, int column, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    setCell(row, column, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void LogTable::removeRows(qsizetype first, qsizetype count)
{
    if (count < 0 || first < 0 || first + count > rowCount())
        throw std::out_of_range("LogTable: cannot remove rows " + std::to_string(first) + " +" + std::to_string(count));
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + first + count);
}

int LogTable::adoptBlock(const QByteArray& bytes)
{
    // The block shares the array's bytes and keeps a copy of it alive.
    const std::shared_ptr<const char> data(bytes.constData(), [bytes](const char*) {});
    return adoptBlock(data, bytes.size());
}

int LogTable::adoptBlock(std::shared_ptr<const char> bytes, qsizetype size)
{
    if (m_blocks.size() >= (std::size_t{1} << (64 - kOffsetBits)))
        throw std::length_error("LogTable: too many blocks");
    m_blocks.push_back(Block{std::move(bytes), size, size});
    return static_cast<int>(m_blocks.size() - 1);
}

void LogTable::setRowFromBlock(qsizetype row, int block, std::uint64_t lineStart,
                               const std::array<std::uint32_t, kColumnCount>& fieldEnds)
{
    m_rows[static_cast<std::size_t>(row)] =
        Row{(static_cast<std::uint64_t>(block) << kOffsetBits) | lineStart, fieldEnds};
}

LogTable::RowMoves LogTable::sortRows(qsizetype first, qsizetype last, int column, SortKey key)
{
    if (first < 0 || last >= rowCount() || column < 0 || column >= kColumnCount)
        throw std::out_of_range("LogTable: sort range outside the table");
    if (last - first < 1)
        return {};
    const qsizetype count = last - first + 1;
    if (count > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("LogTable: too many rows to sort");

    // Each row gets a 32-bit key whose order is the sort order: a date's
    // yyyymmdd (below 2^27), or the byte-order rank of its text among the
    // column's distinct texts (above every date in date sorts). A radix sort
    // on the keys is stable and linear in the number of rows.
    const auto n = static_cast<std::uint32_t>(count);
    const std::uint64_t textBase = key == SortKey::Date ? (std::uint64_t{1} << 27) : 0;
    KeyedRows keyed(n);
    DistinctTexts distinct(key == SortKey::Date ? 64 : n / 4);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::string_view text = cell(first + i, column);
        const std::uint32_t date = key == SortKey::Date ? dateKey(text) : 0;
        keyed[i] = date != 0 ? date : textBase + distinct.idOf(text);
    }
    const std::vector<std::uint32_t> rank = rankTexts(distinct.texts());
    for (std::uint32_t i = 0; i < n; ++i) {
        if (keyed[i] >= textBase)
            keyed[i] = textBase + rank[keyed[i] - textBase];
        keyed[i] = (keyed[i] << 32) | i;
    }
    sortByKey(keyed);

    Indices source(n);
    bool moved = false;
    for (std::uint32_t to = 0; to < n; ++to) {
        source[to] = static_cast<std::uint32_t>(keyed[to]);
        moved = moved || source[to] != to;
    }
    decltype(keyed)().swap(keyed);
    if (!moved)
        return {};
    RowMoves moves(n);
    for (std::uint32_t to = 0; to < n; ++to)
        moves[source[to]] = to;

    // Move whole rows along the permutation's cycles, one spare row at a time.
    Row* rows = m_rows.data() + first;
    for (std::uint32_t i = 0; i < source.size(); ++i) {
        if (source[i] == i)
            continue;
        const Row spare = rows[i];
        std::uint32_t to = i;
        for (;;) {
            const std::uint32_t from = source[to];
            source[to] = to;
            if (from == i) {
                rows[to] = spare;
                break;
            }
            rows[to] = rows[from];
            to = from;
        }
    }
    return moves;
}
