#pragma once

#include <QString>
#include <exception>

class Dialogs;

// The one channel for unexpected failures: a modal warning box titled
// "Quillon Error" that names where the failure happened, its number and its
// description. The mouse pointer is the arrow while the box is shown.
void Error_Report(Dialogs& dialogs, const QString& strSource, qint32 number, const QString& description);
// An AppError keeps its own number; other exceptions get the classic run-time
// numbers: 7 out of memory, 9 out of range, 6 overflow, 5 anything else.
void Error_Report(Dialogs& dialogs, const QString& strSource, const std::exception& error);
