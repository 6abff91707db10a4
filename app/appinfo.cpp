#include "app/appinfo.h"

// Placeholder until the infrastructure work lands.
QString AppInfo::supportEmail()
{
    return QStringLiteral(QUILLORY_SUPPORT_EMAIL);
}

QString AppInfo::homePage()
{
    return QStringLiteral(QUILLORY_HOME_PAGE);
}
