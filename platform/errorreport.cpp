#include "platform/errorreport.h"

#include "platform/appinfo.h"
#include "platform/platform.h"

QString ErrorReportText(const QString &description, const QString &procedureText, int step)
{
    return description + QStringLiteral("\r\n") + procedureText + QStringLiteral("at line ")
        + QString::number(step) + QStringLiteral("\r\r")
        + QStringLiteral("Please email screenshot of this message to ") + AppInfo::supportEmail();
}

void ErrorReport(Platform &platform, const QString &description, const QString &procedureText, int step)
{
    platform.MsgBox(ErrorReportText(description, procedureText, step), MsgBoxStyle::Exclamation,
                    QStringLiteral("Application Error"));
}

void Guarded::report(int step)
{
    report(step, CurrentFailureDescription());
}

void Guarded::report(int step, const QString &description)
{
    ErrorReport(m_platform, description, m_procedureText, step);
}
