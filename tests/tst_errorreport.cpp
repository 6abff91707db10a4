#include "platform/appinfo.h"
#include "platform/errorreport.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"

#include <QTest>

#include <new>

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void messageText_data();
    void messageText();
    void reportsWithTitleAndWarningStyle();
    void resumesWithNextStatementAfterFailure();
    void reportsTwoFailuresInStatementOrder();
    void outOfMemoryIsReportedNotFatal();
    void closingTheWindowIsNotReported();
};

void TestErrorReport::messageText_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("expected");

    const QString request =
        QStringLiteral("Please email screenshot of this message to ") + AppInfo::supportEmail();
    QTest::newRow("first step")
        << QStringLiteral("Type mismatch") << Procedure::PushButton2_Click << 100
        << QStringLiteral("Type mismatch\r\nin Quillory2021/08/31.Form1.PushButton2_Click at line 100\r\r")
            + request;
    QTest::newRow("empty description")
        << QString() << Procedure::Form_Load << 142
        << QStringLiteral("\r\nin Quillory2021/08/31.Form1.Form_Load at line 142\r\r") + request;
}

void TestErrorReport::messageText()
{
    QFETCH(QString, description);
    QFETCH(QString, procedure);
    QFETCH(int, step);
    QFETCH(QString, expected);
    QCOMPARE(ErrorReportText(description, procedure, step), expected);
}

void TestErrorReport::reportsWithTitleAndWarningStyle()
{
    FakePlatform platform;
    ErrorReport(platform, QStringLiteral("File not found"), QStringLiteral("in X.Y "), 120);
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(platform.messages[0].style, 48);
    QVERIFY(platform.messages[0].text.startsWith(QStringLiteral("File not found\r\nin X.Y at line 120\r\r")));
    QVERIFY(AppInfo::supportEmail().contains(QLatin1Char('@')));
}

void TestErrorReport::resumesWithNextStatementAfterFailure()
{
    FakePlatform platform;
    Guarded proc(platform, Procedure::PushButton9_Click);
    QStringList ran;
    QVERIFY(!proc(100, [&] { throw Failure(QStringLiteral("Index out of bounds")); }));
    QVERIFY(proc(102, [&] { ran << QStringLiteral("102"); }));
    QCOMPARE(ran, QStringList{QStringLiteral("102")});
    QCOMPARE(platform.messages.size(), 1);
    QVERIFY(platform.messages[0].text.contains(QStringLiteral("PushButton9_Click at line 100\r\r")));
}

void TestErrorReport::reportsTwoFailuresInStatementOrder()
{
    FakePlatform platform;
    Guarded proc(platform, QStringLiteral("in P "));
    proc(104, [] { throw Failure(QStringLiteral("first")); });
    proc(106, [] { throw std::runtime_error("second"); });
    QCOMPARE(platform.messages.size(), 2);
    QVERIFY(platform.messages[0].text.startsWith(QStringLiteral("first\r\nin P at line 104")));
    QVERIFY(platform.messages[1].text.startsWith(QStringLiteral("second\r\nin P at line 106")));
}

void TestErrorReport::outOfMemoryIsReportedNotFatal()
{
    FakePlatform platform;
    Guarded proc(platform, QStringLiteral("in P "));
    proc(110, [] { throw std::bad_alloc(); });
    QCOMPARE(platform.messages.size(), 1);
    QVERIFY(platform.messages[0].text.startsWith(QStringLiteral("Out of memory\r\nin P at line 110")));
}

void TestErrorReport::closingTheWindowIsNotReported()
{
    FakePlatform platform;
    Guarded proc(platform, QStringLiteral("in P "));
    bool unwound = false;
    try {
        proc(100, [] { throw CommandAborted{}; });
    } catch (const CommandAborted &) {
        unwound = true;
    }
    QVERIFY(unwound);
    QVERIFY(platform.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
