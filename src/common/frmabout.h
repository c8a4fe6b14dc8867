#pragma once

#include <QDialog>

class LinkLabel;
class QLabel;

// The About window: title, version, legal notice, disclaimer and credits,
// closed by its "OK" link. Made anew for each opening.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* lblAppName() const { return m_lblAppName; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblCopy() const { return m_lblCopy; }
    LinkLabel* hypAbout() const { return m_hypAbout; }

private:
    QLabel* m_lblAppName;
    QLabel* m_lblVersion;
    QLabel* m_lblCopy;
    LinkLabel* m_hypAbout;
};
