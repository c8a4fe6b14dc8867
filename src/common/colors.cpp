#include "colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
// System colour indexes of the 0x80000000 | index form, mapped to the palette.
QPalette::ColorRole roleOfSystemColor(int index)
{
    switch (index) {
    case 5: return QPalette::Base;             // window background
    case 6: return QPalette::Shadow;           // window frame
    case 8: return QPalette::Text;             // window text
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 16: return QPalette::Dark;            // button shadow
    case 17: return QPalette::PlaceholderText; // grey text
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;           // button highlight
    case 21: return QPalette::Shadow;          // 3-D dark shadow
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    default: return QPalette::Button;          // button face and the rest
    }
}
} // namespace

QColor colorFromBgr(qint32 bgr)
{
    const auto value = static_cast<quint32>(bgr);
    if (value & 0x80000000u)
        return QGuiApplication::palette().color(roleOfSystemColor(int(value & 0xFFu)));
    return QColor(int(value & 0xFFu), int((value >> 8) & 0xFFu), int((value >> 16) & 0xFFu));
}

qint32 bgrFromColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return qint32(quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16));
}
