#pragma once

#include <QFrame>

class QLabel;

// Shown while the main window is being built: the splash picture with the
// title, version and legal notice. It takes no input.
class frmSplash : public QFrame {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    QLabel* lblAppName() const { return m_lblAppName; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblCopy() const { return m_lblCopy; }

private:
    QLabel* m_lblAppName;
    QLabel* m_lblVersion;
    QLabel* m_lblCopy;
};
