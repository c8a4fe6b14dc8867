#include "linklabelgroup.h"

#include "linklabel.h"

LinkLabelGroup::LinkLabelGroup(QObject* parent) : QObject(parent) {}

LinkLabel* LinkLabelGroup::add(const QString& caption, QWidget* parent)
{
    auto* link = new LinkLabel(caption, parent);
    const int index = count();
    m_links.append(link);
    connect(link, &LinkLabel::clicked, this, [this, index] { emit clicked(index); });
    return link;
}
