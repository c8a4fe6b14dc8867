#include "clslogentry.h"

#include <stdexcept>

namespace {

// Only the space character goes; tabs and other white space stay.
QString trimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

void checkColumn(int column)
{
    if (column < 0 || column >= clsLogEntry::kFieldCount)
        throw std::out_of_range("clsLogEntry: no field " + std::to_string(column));
}

} // namespace

clsLogEntry::clsLogEntry(QObject* parent) : QObject(parent) {}

QString clsLogEntry::field(int column) const
{
    checkColumn(column);
    return m_fields[static_cast<std::size_t>(column)];
}

void clsLogEntry::setField(int column, const QString& vData)
{
    checkColumn(column);
    m_fields[static_cast<std::size_t>(column)] = trimSpaces(vData);
}

void clsLogEntry::New_Log_Entry_Save()
{
    emit NewLogEntrySave();
}

void clsLogEntry::New_Log_Entry_Save_Result(bool blnResult)
{
    if (blnResult)
        emit NewLogEntrySaveOK();
    else
        emit NewLogEntrySaveFail();
}

bool storableInLog(const QString& text)
{
    return QString::fromLocal8Bit(text.toLocal8Bit()) == text;
}
