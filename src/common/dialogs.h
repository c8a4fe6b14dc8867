#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <optional>

class QPrinter;
class QWidget;

// One modal message box: what the program asks the user.
struct MessageRequest {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Every message box and picker of the program goes through this seam, so that
// tests see what would be shown and answer it without a modal loop. Objects
// receive the instance they use when they are made.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows the box modally and returns the button the user chose.
    virtual QMessageBox::StandardButton message(QWidget* parent, const MessageRequest& request) = 0;
    // The colour picker, preset with `initial`; nothing when the user cancels.
    virtual std::optional<QColor> pickColor(QWidget* parent, const QColor& initial, const QString& title) = 0;
    // Page setup and print dialogs; false when the user cancels.
    virtual bool pageSetup(QWidget* parent, QPrinter& printer) = 0;
    virtual bool printSetup(QWidget* parent, QPrinter& printer) = 0;
    // The file to save to, starting at `suggestedPath`; empty when the user
    // cancels. Seams that never save keep this default, which cancels.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& suggestedPath,
                                 const QString& filters);

    void inform(QWidget* parent, const QString& title, const QString& text);
    void warn(QWidget* parent, const QString& title, const QString& text);
    QMessageBox::StandardButton ask(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons);
};

// The real dialogs of Qt.
class QtDialogs : public Dialogs {
public:
    QMessageBox::StandardButton message(QWidget* parent, const MessageRequest& request) override;
    std::optional<QColor> pickColor(QWidget* parent, const QColor& initial, const QString& title) override;
    bool pageSetup(QWidget* parent, QPrinter& printer) override;
    bool printSetup(QWidget* parent, QPrinter& printer) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& suggestedPath,
                         const QString& filters) override;
};
