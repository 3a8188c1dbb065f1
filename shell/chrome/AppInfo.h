#pragma once

#include <QString>

// The program's fixed texts, shared by the start-up window, the about window
// and every message box.
namespace AppInfo {

inline QString title() { return QStringLiteral("Talvex"); }
inline QString versionText() { return QStringLiteral("Version 2.7 free"); }
inline QString homePage() { return QStringLiteral("https://talvex.org"); }
inline QString supportEmail() { return QStringLiteral("support@talvex.org"); }

} // namespace AppInfo
