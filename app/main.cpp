#include "app/form1.h"
#include "platform/qtplatform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    form.show();
    return app.exec();
}
