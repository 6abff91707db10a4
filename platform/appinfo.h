#pragma once

#include <QString>

namespace AppInfo {

// Product name shown in the title bar.
inline QString productName()
{
    return QStringLiteral("Quillory");
}

// Support address quoted by the error report (set at configure time).
QString supportEmail();

// The maker's home page: the configured address, or the about page installed
// with the program.
QString homePage();

} // namespace AppInfo
