#pragma once

#include <QString>

// The program's title, version and legal notice, as the information windows
// and the main window show them. The version comes from the build.
namespace AppInfo {

inline QString title() { return QStringLiteral("Quillon"); }
inline QString productName() { return QStringLiteral("Quillon"); }
inline QString legalNotice() { return QStringLiteral("Copyright \u00A9 2026 The Quillon developers"); }

// Always three numbers: "Version: 1.1.0", never "Version: 1.1".
inline QString versionText(int major, int minor, int revision)
{
    return QStringLiteral("Version: %1.%2.%3").arg(major).arg(minor).arg(revision);
}

inline QString versionText()
{
    return versionText(QUILLON_VERSION_MAJOR, QUILLON_VERSION_MINOR, QUILLON_VERSION_PATCH);
}

} // namespace AppInfo
