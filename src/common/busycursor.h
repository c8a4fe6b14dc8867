#pragma once

#include <QCursor>
#include <QGuiApplication>

// The hourglass for the life of the object: set around work that follows a
// user's action. The error report may already have restored the arrow; then
// the restore here does nothing.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
