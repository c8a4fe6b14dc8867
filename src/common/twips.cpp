#include "twips.h"

#include <QWidget>
#include <cmath>

namespace {
int scale(int value, int numerator, int denominator)
{
    return int(std::lround(double(value) * numerator / denominator));
}
} // namespace

int twipsToPixelsX(int twips, const QWidget* widget)
{
    return scale(twips, widget->logicalDpiX(), kTwipsPerInch);
}

int twipsToPixelsY(int twips, const QWidget* widget)
{
    return scale(twips, widget->logicalDpiY(), kTwipsPerInch);
}

int pixelsToTwipsX(int pixels, const QWidget* widget)
{
    return scale(pixels, kTwipsPerInch, widget->logicalDpiX());
}

int pixelsToTwipsY(int pixels, const QWidget* widget)
{
    return scale(pixels, kTwipsPerInch, widget->logicalDpiY());
}
