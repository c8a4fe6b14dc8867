#pragma once

#include "dialogs.h"

#include <QList>
#include <QPrinter>
#include <functional>

// Dialogs for tests: records every box instead of showing it and answers
// with a scripted button (Ok, or the first of `answers` not yet used).
class RecordingDialogs : public Dialogs {
public:
    QList<MessageRequest> shown;
    QList<QMessageBox::StandardButton> answers;
    std::optional<QColor> pickedColor;
    QList<QColor> pickerOpenedWith;   // the colour the picker showed, each time it opened
    bool printAccepted = true;
    QString savePath;   // the file "chosen" in a save dialog; empty cancels
    // Runs inside the box, as the user's reaction would, before it is answered.
    std::function<void(const MessageRequest&)> whileShown;

    QMessageBox::StandardButton message(QWidget*, const MessageRequest& request) override
    {
        shown.append(request);
        if (whileShown)
            whileShown(request);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return QMessageBox::Ok;
    }

    std::optional<QColor> pickColor(QWidget*, const QColor& initial, const QString&) override
    {
        pickerOpenedWith.append(initial);
        return pickedColor;
    }
    bool pageSetup(QWidget*, QPrinter&) override { return printAccepted; }
    bool printSetup(QWidget*, QPrinter&) override { return printAccepted; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return savePath; }

    QString lastText() const { return shown.isEmpty() ? QString() : shown.last().text; }
    QString lastTitle() const { return shown.isEmpty() ? QString() : shown.last().title; }
};
