#pragma once

class QWidget;

// Screen lengths are laid out in twips (1/1440 inch) and turned into pixels
// through the screen's logical DPI, so layouts keep their proportions.
constexpr int kTwipsPerInch = 1440;

int twipsToPixelsX(int twips, const QWidget* widget);
int twipsToPixelsY(int twips, const QWidget* widget);
int pixelsToTwipsX(int pixels, const QWidget* widget);
int pixelsToTwipsY(int pixels, const QWidget* widget);
