#pragma once

#include <QObject>
#include <QVector>

class LinkLabel;
class QWidget;

// The links of one panel: each has an index (the order in which it was
// added) and a click on any of them reports that index.
class LinkLabelGroup : public QObject {
    Q_OBJECT
public:
    explicit LinkLabelGroup(QObject* parent = nullptr);

    // Creates a link on `parent` with the next index.
    LinkLabel* add(const QString& caption, QWidget* parent);
    LinkLabel* link(int index) const { return m_links.at(index); }
    int count() const { return int(m_links.size()); }

signals:
    void clicked(int index);

private:
    QVector<LinkLabel*> m_links;
};
