#include "logtable.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

// Edits append new row images to blocks of this size; the old image stays
// until the table is cleared (edits are few next to the loaded rows).
constexpr qsizetype kEditBlockBytes = 64 * 1024;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << 40) - 1;
constexpr char kSeparator = ',';

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digits(std::string_view text, std::size_t from, std::size_t count)
{
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// yyyymmdd for a valid "yyyy-mm-dd" date, nothing for any other text.
std::optional<std::uint32_t> dateKey(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!isDigit(text[i]))
            return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    return static_cast<std::uint32_t>(year * 10000 + month * 100 + day);
}

// The first 8 bytes, big-endian, so that comparing prefixes orders like memcmp.
std::uint64_t bytePrefix(std::string_view text)
{
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        prefix <<= 8;
        if (i < text.size())
            prefix |= static_cast<unsigned char>(text[i]);
    }
    return prefix;
}

struct RowKey {
    std::uint32_t group;    // dates before other texts
    std::uint32_t length;   // of the text, capped; 0 for dates
    std::uint64_t prefix;   // the date, or the text's first bytes
    std::uint32_t index;    // position in the range: the tie-break that keeps the sort stable
};

} // namespace

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

const char* LogTable::rowBytes(const Row& row) const
{
    const Block& block = m_blocks[static_cast<std::size_t>(row.location >> kOffsetBits)];
    return block.bytes.get() + (row.location & kOffsetMask);
}

std::string_view LogTable::cell(qsizetype row, int column) const
{
    checkIndex(row, column);
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    const std::uint32_t start = column == 0 ? 0 : r.end[static_cast<std::size_t>(column) - 1] + 1;
    const std::uint32_t end = r.end[static_cast<std::size_t>(column)];
    if (end == start)
        return {};
    return {rowBytes(r) + start, end - start};
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

void LogTable::insertRow(qsizetype row)
{
    if (row < 0 || row > rowCount())
        throw std::out_of_range("LogTable: cannot insert at row " + std::to_string(row));
    m_rows.insert(m_rows.begin() + row, emptyRow());
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

void LogTable::sortRows(qsizetype first, qsizetype last, int column, SortKey key)
{
    if (first < 0 || last >= rowCount() || column < 0 || column >= kColumnCount)
        throw std::out_of_range("LogTable: sort range outside the table");
    if (last - first < 1)
        return;
    const qsizetype count = last - first + 1;
    if (count > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("LogTable: too many rows to sort");

    std::vector<RowKey, LargePageAllocator<RowKey>> keys(static_cast<std::size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const std::string_view text = cell(first + i, column);
        RowKey& k = keys[static_cast<std::size_t>(i)];
        k.index = static_cast<std::uint32_t>(i);
        const std::optional<std::uint32_t> date = key == SortKey::Date ? dateKey(text) : std::nullopt;
        if (date) {
            k.group = 0;
            k.length = 0;
            k.prefix = *date;
        } else {
            k.group = 1;
            k.length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), 0xFFFFFFFFu));
            k.prefix = bytePrefix(text);
        }
    }

    const auto less = [&](const RowKey& a, const RowKey& b) {
        if (a.group != b.group)
            return a.group < b.group;
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        if (a.length > 8 || b.length > 8) {
            const int order = cell(first + a.index, column).compare(cell(first + b.index, column));
            if (order != 0)
                return order < 0;
        } else if (a.length != b.length) {
            return a.length < b.length;
        }
        return a.index < b.index;
    };
    if (std::is_sorted(keys.begin(), keys.end(), less))
        return;
    std::sort(keys.begin(), keys.end(), less);

    // Move whole rows along the permutation's cycles, one spare row at a time.
    std::vector<std::uint32_t, LargePageAllocator<std::uint32_t>> source(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        source[i] = keys[i].index;
    decltype(keys)().swap(keys);
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
}
