#include "errorreport.h"

#include "apperror.h"
#include "dialogs.h"

#include <QGuiApplication>
#include <new>
#include <stdexcept>

namespace {
const QString kAppTitle = QStringLiteral("Quillon");
const QString kCrLf = QStringLiteral("\r\n");

enum RuntimeErrorNumber : qint32 {
    kInvalidCall = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kOutOfRange = 9,
};

qint32 numberOf(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const AppError*>(&error))
        return own->number();
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return kOutOfMemory;
    if (dynamic_cast<const std::out_of_range*>(&error))
        return kOutOfRange;
    if (dynamic_cast<const std::overflow_error*>(&error))
        return kOverflow;
    return kInvalidCall;
}

QString descriptionOf(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const AppError*>(&error))
        return own->description();
    return QString::fromLocal8Bit(error.what());
}

void restoreArrowPointer()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

QString Error_Report_Text(const QString& strSource, qint32 number, const QString& description)
{
    return kAppTitle + QStringLiteral(" has encountered an error: ") + kCrLf + kCrLf
           + QStringLiteral("Error Source: ") + strSource + kCrLf
           + QStringLiteral("Error Number: ") + QString::number(number) + kCrLf
           + QStringLiteral("Error Description: ") + description;
}
} // namespace

void Error_Report(Dialogs& dialogs, const QString& strSource, qint32 number, const QString& description)
{
    const QString text = Error_Report_Text(strSource, number, description);
    restoreArrowPointer();
    dialogs.message(nullptr, {kAppTitle + QStringLiteral(" Error"), text, QMessageBox::Warning, QMessageBox::Ok});
}

void Error_Report(Dialogs& dialogs, const QString& strSource, const std::exception& error)
{
    Error_Report(dialogs, strSource, numberOf(error), descriptionOf(error));
}
