#include "app/form1.h"

#include <QCheckBox>

namespace {

void storeOption(Platform &platform, QCheckBox *box, const QString &key)
{
    const int value = Form1::CheckValue(box);
    // Greyed is only ever restored, never chosen: once the box leaves it,
    // clicks toggle between off and on again.
    if (value != 2)
        box->setTristate(false);
    platform.SaveSetting(QStringLiteral("Tarvenco"), QStringLiteral("Quillory"), key, QString::number(value));
}

} // namespace

void Form1::Check1_Click()
{
    storeOption(platform(), Check1, QStringLiteral("Check1"));
}

void Form1::Check2_Click()
{
    storeOption(platform(), Check2, QStringLiteral("Check2"));
}

void Form1::Check3_Click()
{
    storeOption(platform(), Check3, QStringLiteral("Check3"));
}
