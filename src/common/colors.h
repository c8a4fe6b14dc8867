#pragma once

#include <QColor>

// Colours are kept as 32-bit values in the 0x00BBGGRR layout (red in the low
// byte); a value with the high bit set names a system colour by its index.
QColor colorFromBgr(qint32 bgr);
// Always an explicit colour, never a system colour index.
qint32 bgrFromColor(const QColor& color);
