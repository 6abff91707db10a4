#include "app/form1.h"
#include "platform/appinfo.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>

#include <cstdio>
#include <cstring>

namespace {

bool environmentHas(const char *name)
{
    return !qEnvironmentVariableIsEmpty(name);
}

// Qt aborts with a long message when it cannot reach a display; say what is
// wrong in one line instead, before QApplication tries.
bool displayAvailable(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true; // chosen on the command line: Qt's own business
    }
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.startsWith(QLatin1StringView("xcb")))
        return environmentHas("DISPLAY");
    if (platform.startsWith(QLatin1StringView("wayland")))
        return environmentHas("WAYLAND_DISPLAY");
    if (!platform.isEmpty())
        return true; // offscreen, vnc, eglfs and the like need no display server
    return environmentHas("DISPLAY") || environmentHas("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable(argc, argv)) {
        std::fputs(
            "quillory: no display available: set DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM=offscreen\n",
            stderr);
        return 1;
    }

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(quillory); // the icon lives in the static library
    QApplication::setApplicationName(AppInfo::productName());
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(QUILLORY_APP_ID));
    // The installed theme icon under the desktop ID, else the built-in copy.
    const QIcon icon =
        QIcon::fromTheme(QStringLiteral(QUILLORY_APP_ID), QIcon(QStringLiteral(":/quillory.svg")));
    QApplication::setWindowIcon(icon);

    QtPlatform platform;
    Form1 form(platform);
    form.setWindowIcon(icon);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), form.size());
        frame.moveCenter(screen->availableGeometry().center());
        form.move(frame.topLeft());
    }
    form.Form_Load();
    form.show();
    return app.exec();
}
