#include "platform/appinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString AppInfo::supportEmail()
{
    return QStringLiteral(QUILLORY_SUPPORT_EMAIL);
}

QString AppInfo::homePage()
{
    const QString configured = QStringLiteral(QUILLORY_HOME_PAGE);
    if (!configured.isEmpty())
        return configured;

    // The about page installed with the program: beside it first, so that a
    // moved installation finds its own copy, then where it was installed, then
    // the copy in the source tree for a program run from its build folder.
    const QString name = QStringLiteral("about.html");
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quillory/") + name;
    candidates << QStringLiteral(QUILLORY_DATADIR "/") + name;
    candidates << QStringLiteral(QUILLORY_SOURCE_RESOURCES "/") + name;
    for (const QString &candidate : std::as_const(candidates)) {
        const QFileInfo info(candidate);
        if (info.isFile())
            return QUrl::fromLocalFile(QDir::cleanPath(info.absoluteFilePath())).toString();
    }
    return {}; // no page to show
}
