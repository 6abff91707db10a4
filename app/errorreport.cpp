#include "app/errorreport.h"

#include "app/appinfo.h"
#include "platform/platform.h"

#include <new>

Failure::Failure(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

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

QString CurrentFailureDescription()
{
    try {
        throw;
    } catch (const Failure &failure) {
        return failure.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}

void Guarded::report(int step)
{
    const QString description = CurrentFailureDescription();
    ErrorReport(m_platform, description, m_procedureText, step);
}
