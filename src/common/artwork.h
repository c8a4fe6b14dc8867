#pragma once

#include <QIcon>
#include <QSize>
#include <QString>

// The program's pictures, drawn at build time as scalable pictures: each gives
// a sharp image at any size and pixel density Qt asks for (QIcon::pixmap with
// the screen's device pixel ratio). Where Qt has no SVG icon engine, they come
// as large PNG drawings that Qt scales down. The resources come with quillon_art.
namespace Artwork {
inline constexpr QSize kSplashSize{200, 300};

// "acars", "flightlog", "timebytype" (the side bar items) and "quillon" (the program).
QIcon icon(const QString& name);
// The splash picture, kSplashSize at a pixel density of 1.
QIcon splash();
} // namespace Artwork
