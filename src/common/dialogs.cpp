#include "dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>

void Dialogs::inform(QWidget* parent, const QString& title, const QString& text)
{
    message(parent, {title, text, QMessageBox::Information, QMessageBox::Ok});
}

void Dialogs::warn(QWidget* parent, const QString& title, const QString& text)
{
    message(parent, {title, text, QMessageBox::Warning, QMessageBox::Ok});
}

QMessageBox::StandardButton Dialogs::ask(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons)
{
    return message(parent, {title, text, QMessageBox::Question, buttons});
}

QMessageBox::StandardButton QtDialogs::message(QWidget* parent, const MessageRequest& request)
{
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QColor> QtDialogs::pickColor(QWidget* parent, const QColor& initial, const QString& title)
{
    const QColor chosen = QColorDialog::getColor(initial, parent, title);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

bool QtDialogs::pageSetup(QWidget* parent, QPrinter& printer)
{
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogs::printSetup(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

QString Dialogs::saveFileName(QWidget*, const QString&, const QString&, const QString&)
{
    return {};
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& title, const QString& suggestedPath,
                                const QString& filters)
{
    return QFileDialog::getSaveFileName(parent, title, suggestedPath, filters);
}
