#pragma once

#include <QFrame>

class QLabel;

// Shown while the main window is being built: the splash picture with the
// title, version and legal notice. It takes no input, and it closes as soon
// as any other window opens (a box about a damaged log, say), which would
// otherwise stay hidden behind it.
class frmSplash : public QFrame {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    QLabel* lblAppName() const { return m_lblAppName; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblCopy() const { return m_lblCopy; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_lblAppName;
    QLabel* m_lblVersion;
    QLabel* m_lblCopy;
};
