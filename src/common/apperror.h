#pragma once

#include <QString>
#include <stdexcept>

// A failure of the program's own, with the number and description that the
// error report shows. Each raising module states its numbers once, beside the
// code that raises them.
class AppError : public std::runtime_error {
public:
    AppError(qint32 number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
    {
    }

    qint32 number() const { return m_number; }
    QString description() const { return m_description; }

private:
    qint32 m_number;
    QString m_description;
};
