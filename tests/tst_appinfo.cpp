#include "platform/appinfo.h"

#include <QFile>
#include <QTest>
#include <QUrl>

class TestAppInfo : public QObject
{
    Q_OBJECT

private slots:
    void homePageIsTheBundledAboutPageWhenNoneIsConfigured();
    void supportAddressIsAnEmailAddress();
};

void TestAppInfo::homePageIsTheBundledAboutPageWhenNoneIsConfigured()
{
    const QString page = AppInfo::homePage();
    QVERIFY(!page.isEmpty());
    const QUrl url(page);
    if (!url.isLocalFile())
        QSKIP("A home page address is configured for this build");
    QFile file(url.toLocalFile());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(url.toLocalFile()));
    QVERIFY(file.readAll().contains("<title>About Quillory</title>"));
}

void TestAppInfo::supportAddressIsAnEmailAddress()
{
    const QString address = AppInfo::supportEmail();
    QCOMPARE(address.count(u'@'), 1);
    QVERIFY(!address.startsWith(u'@'));
    QVERIFY(!address.endsWith(u'@'));
}

QTEST_GUILESS_MAIN(TestAppInfo)
#include "tst_appinfo.moc"
