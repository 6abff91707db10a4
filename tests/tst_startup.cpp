#include "app/form1.h"
#include "platform/appinfo.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString kFormLoad = Procedure::Form_Load;

QString setting(const FakePlatform &p, const QString &key)
{
    return p.settings.value(
        FakePlatform::settingKey(QStringLiteral("Tarvenco"), QStringLiteral("Quillory"), key));
}

void store(FakePlatform &p, const QString &key, const QString &value)
{
    p.settings.insert(FakePlatform::settingKey(QStringLiteral("Tarvenco"), QStringLiteral("Quillory"), key),
                      value);
}

// The full error report as the user reads it.
QString reportText(const QString &description, int step)
{
    return description + QStringLiteral("\r\n") + kFormLoad + QStringLiteral("at line ")
        + QString::number(step) + QStringLiteral("\r\rPlease email screenshot of this message to ")
        + AppInfo::supportEmail();
}

// A whole second whose draw is (or is not) 7, found by searching.
int secondDrawing(bool seven)
{
    for (int s = 0; s < 86400; ++s) {
        if ((Form1::HomePageDraw(s) == 7) == seven)
            return s;
    }
    return -1;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startupGivesEachListItsColumn_data();
    void startupGivesEachListItsColumn();
    void startupSetsTitleIconAndApplicationTitle();
    void startupShowsNoMessageOnACleanStart();

    void shortAppTitleCutsAtLastSpaces_data();
    void shortAppTitleCutsAtLastSpaces();

    void homePageDrawStaysWithinOneToHundred();
    void homePageDrawUsesWholeSeconds();
    void homePageOpensOnlyOnSeven();
    void homePageOpensDetachedWithTheAddress();
    void failingHomePageIsReportedAndStartupGoesOn();

    void cursorThatIsNoFileIsNamed_data();
    void cursorThatIsNoFileIsNamed();
    void skinIsAppliedOnlyWhenItsSheetParses_data();
    void skinIsAppliedOnlyWhenItsSheetParses();
    void brokenSkinIsReportedWithWarningsSilenced();

    void emptyStoreTurnsAllOptionsOnAndStoresThem();
    void storedOptionIsRestored_data();
    void storedOptionIsRestored();
    void badStoredOptionNamesItsStep_data();
    void badStoredOptionNamesItsStep();
    void optionTurnedOffStaysOffAfterRestart();
    void greyedOptionBecomesOrdinaryAfterUserClick();
    void everyChangeIsStored();

private:
    QTemporaryDir m_programFolder;
};

void TestStartup::init()
{
    QVERIFY(m_programFolder.isValid());
    QGuiApplication::setApplicationDisplayName(QString());
}

void TestStartup::startupGivesEachListItsColumn_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<QString>("title");
    QTest::newRow("input list") << 1 << QStringLiteral("Phone Numbers");
    QTest::newRow("valid list keeps its leading space") << 2 << QStringLiteral(" Valid Numbers");
    QTest::newRow("invalid list") << 3 << QStringLiteral("Invalid Numbers");
}

void TestStartup::startupGivesEachListItsColumn()
{
    QFETCH(int, list);
    QFETCH(QString, title);
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    Form1 w(p);
    ListView *const views[] = {w.ListView1, w.ListView2, w.ListView3};
    ListView *view = views[list - 1];
    QCOMPARE(view->ColumnHeaders.Count(), 0);

    w.Form_Load();

    QCOMPARE(view->ColumnHeaders.Count(), 1);
    QCOMPARE(view->ColumnHeaders.Item(1).Text(), title);
    QCOMPARE(view->ColumnHeaders.Item(1).Width(), 7000);
    QCOMPARE(view->ListItems.Count(), 0);
}

void TestStartup::startupSetsTitleIconAndApplicationTitle()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    Form1 w(p);
    QCOMPARE(w.windowTitle(), QStringLiteral("Form1"));
    QVERIFY(w.windowIcon().isNull());
    QCoreApplication::setApplicationName(QStringLiteral("tst_startup"));

    w.Form_Load();

    QCOMPARE(w.windowTitle(), QStringLiteral("Quillory"));
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(!w.windowIcon().pixmap(32, 32).isNull());
    // The application title is the name the program is listed under; the
    // window titles are shown in the real-window test.
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quillory"));
}

void TestStartup::startupShowsNoMessageOnACleanStart()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path(); // no skin, no cursor
    p.secondsSinceMidnight = secondDrawing(false);
    Form1 w(p);
    w.Form_Load();
    QVERIFY(p.messages.isEmpty());
    QVERIFY(p.shellCalls.isEmpty());
    QVERIFY(!w.HasMouseIcon);
}

void TestStartup::shortAppTitleCutsAtLastSpaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");

    QTest::newRow("one word stays whole") << QStringLiteral("Quillory") << QStringLiteral("Quillory");
    QTest::newRow("short name is still cut once")
        << QStringLiteral("Quillory Phone Check") << QStringLiteral("Quillory Phone");
    QTest::newRow("trailing space cut away") << QStringLiteral("Quillory ") << QStringLiteral("Quillory");

    // 50 characters, last two spaces at positions 45 and 38 (counted from 1).
    const QString fifty = QString(37, QLatin1Char('a')) + QLatin1Char(' ') + QString(6, QLatin1Char('b'))
        + QLatin1Char(' ') + QString(5, QLatin1Char('c'));
    QTest::newRow("cut twice until 40 or less") << fifty << QString(37, QLatin1Char('a'));

    const QString long41 = QString(41, QLatin1Char('a'));
    QTest::newRow("long word without further space stays") << long41 + QStringLiteral(" tail") << long41;
    QTest::newRow("cut again past a long word")
        << QStringLiteral("xx ") + long41 + QStringLiteral(" tail") << QStringLiteral("xx");
    const QString forty = QString(40, QLatin1Char('d'));
    QTest::newRow("40 characters after one cut") << forty + QStringLiteral(" end") << forty;
}

void TestStartup::shortAppTitleCutsAtLastSpaces()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QCOMPARE(Form1::ShortAppTitle(name), title);
}

void TestStartup::homePageDrawStaysWithinOneToHundred()
{
    QList<int> seen(101, 0);
    for (int s = 0; s < 86400; ++s) {
        const int n = Form1::HomePageDraw(s);
        QVERIFY2(n >= 1 && n <= 100, qPrintable(QStringLiteral("second %1 drew %2").arg(s).arg(n)));
        ++seen[n];
    }
    // Every number comes up, and 7 about once in a hundred starts.
    for (int n = 1; n <= 100; ++n)
        QVERIFY2(seen[n] > 0, qPrintable(QString::number(n)));
    QVERIFY2(seen[7] > 600 && seen[7] < 1150, qPrintable(QString::number(seen[7])));
}

void TestStartup::homePageDrawUsesWholeSeconds()
{
    for (int s : {0, 1, 4711, 86399})
        QCOMPARE(Form1::HomePageDraw(s + 0.75), Form1::HomePageDraw(s));
    // Values a broken clock might give are drawn from, not trusted.
    const int fromNan = Form1::HomePageDraw(std::numeric_limits<double>::quiet_NaN());
    QVERIFY(fromNan >= 1 && fromNan <= 100);
    const int fromNegative = Form1::HomePageDraw(-5);
    QVERIFY(fromNegative >= 1 && fromNegative <= 100);
}

void TestStartup::homePageOpensOnlyOnSeven()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    Form1 w(p);
    int sevens = 0;
    for (int s = 0; s < 5000; ++s) {
        p.secondsSinceMidnight = s;
        const qsizetype before = p.shellCalls.size();
        w.OpenHomePageByChance();
        const bool opened = p.shellCalls.size() > before;
        QCOMPARE(opened, Form1::HomePageDraw(s) == 7);
        sevens += opened ? 1 : 0;
    }
    QVERIFY(sevens > 0);
    QVERIFY(sevens < 5000 / 20);
}

void TestStartup::homePageOpensDetachedWithTheAddress()
{
    const int seven = secondDrawing(true);
    QVERIFY(seven >= 0);
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    p.secondsSinceMidnight = seven;
    Form1 w(p);
    w.Form_Load();
    QCOMPARE(p.shellCalls.size(), 1);
    QCOMPARE(p.shellCalls[0].program, QStringLiteral("xdg-open"));
    QCOMPARE(p.shellCalls[0].arguments, QStringList{AppInfo::homePage()});
    QVERIFY(p.messages.isEmpty());

    const int other = secondDrawing(false);
    QVERIFY(other >= 0);
    FakePlatform q;
    q.programFolder = m_programFolder.path();
    q.secondsSinceMidnight = other;
    Form1 v(q);
    v.Form_Load();
    QVERIFY(q.shellCalls.isEmpty());
}

void TestStartup::failingHomePageIsReportedAndStartupGoesOn()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    p.secondsSinceMidnight = secondDrawing(true);
    p.shellFails = true;
    Form1 w(p);
    w.Form_Load();

    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text, reportText(QStringLiteral("File not found"), 112));
    QCOMPARE(p.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(p.messages[0].style, 48);
    // The steps after 112 still ran.
    QCOMPARE(w.ListView3->ColumnHeaders.Count(), 1);
    QCOMPARE(Form1::CheckValue(w.Check3), 1);
}

void TestStartup::cursorThatIsNoFileIsNamed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("Is a directory");
    // Opening a pipe without a writer would wait for one: start-up must not.
    QTest::newRow("named pipe") << QStringLiteral("fifo") << QStringLiteral("Not a regular file");
}

void TestStartup::cursorThatIsNoFileIsNamed()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString cursor = folder.filePath(QStringLiteral("HAND-M.CUR"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("HAND-M.CUR")));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(cursor).constData(), 0600), 0);
    FakePlatform p;
    p.programFolder = folder.path();
    p.secondsSinceMidnight = secondDrawing(false);
    Form1 w(p);
    w.Form_Load();

    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text,
             reportText(reason + QStringLiteral(": ") + QDir::toNativeSeparators(cursor), 110));
    QVERIFY(!w.HasMouseIcon);
    QCOMPARE(w.ListView1->ColumnHeaders.Count(), 1); // start-up went on
}

void TestStartup::skinIsAppliedOnlyWhenItsSheetParses_data()
{
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("one rule") << QByteArray("QPushButton { color: #010203; }") << true;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("only a comment") << QByteArray("/* nothing yet */") << true;
    QTest::newRow("properties without a selector") << QByteArray("color: #010203;") << true;
    QTest::newRow("property the style does not know")
        << QByteArray("QPushButton { color: #010203; glow: 3px; }") << true;
    QTest::newRow("stray closing brace after a rule")
        << QByteArray("QPushButton { color: #010203; } }") << false;
    QTest::newRow("block left open") << QByteArray("QPushButton { color: #010203;") << false;
    QTest::newRow("settings file") << QByteArray("[skin]\nname=Blue\n") << false;
    QTest::newRow("rule then a broken selector")
        << QByteArray("QPushButton { color: #010203; } QListView[ { color: red; }") << false;
    QTest::newRow("a brace where a selector goes") << QByteArray("{ color: #010203; }") << false;
}

void TestStartup::skinIsAppliedOnlyWhenItsSheetParses()
{
    QFETCH(QByteArray, sheet);
    QFETCH(bool, accepted);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("x")));
    QFile file(folder.filePath(QStringLiteral("x/o.cjs")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(sheet), sheet.size());
    file.close();
    FakePlatform p;
    p.programFolder = folder.path();
    p.secondsSinceMidnight = secondDrawing(false);
    Form1 w(p);
    const QColor buttonText = w.PushButton5->palette().color(QPalette::ButtonText);
    w.Form_Load();
    w.PushButton5->ensurePolished();

    if (accepted) {
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.styleSheet(), QString::fromUtf8(sheet));
        QCOMPARE(w.SkinFramework1.operations().size(), 5);
        // The rows that colour the buttons' text show it.
        QCOMPARE(w.PushButton5->palette().color(QPalette::ButtonText) == QColor(0x01, 0x02, 0x03),
                 sheet.contains("#010203"));
        return;
    }
    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text, reportText(QStringLiteral("The skin file is not a style sheet"), 102));
    // No part of the sheet reached the window or a control.
    QVERIFY(w.styleSheet().isEmpty());
    for (const QWidget *control : w.findChildren<QWidget *>())
        QVERIFY2(control->styleSheet().isEmpty(), qPrintable(control->objectName()));
    QCOMPARE(w.PushButton5->palette().color(QPalette::ButtonText), buttonText);
    QCOMPARE(w.SkinFramework1.operations().size(), 1);
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillory")); // start-up went on
}

void TestStartup::brokenSkinIsReportedWithWarningsSilenced()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("x")));
    QFile file(folder.filePath(QStringLiteral("x/o.cjs")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("QPushButton { color: #010203; } }") > 0);
    file.close();
    FakePlatform p;
    p.programFolder = folder.path();
    p.secondsSinceMidnight = secondDrawing(false);
    Form1 w(p);
    // As QT_LOGGING_RULES=default.warning=false would.
    QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
    w.Form_Load();
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text, reportText(QStringLiteral("The skin file is not a style sheet"), 102));
    QVERIFY(w.styleSheet().isEmpty());
}

void TestStartup::emptyStoreTurnsAllOptionsOnAndStoresThem()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    Form1 w(p);
    w.Form_Load();

    QCOMPARE(Form1::CheckValue(w.Check1), 1);
    QCOMPARE(Form1::CheckValue(w.Check2), 1);
    QCOMPARE(Form1::CheckValue(w.Check3), 1);
    QCOMPARE(p.settingWrites,
             (QList<QString>{QStringLiteral("Tarvenco/Quillory/Check1=1"),
                             QStringLiteral("Tarvenco/Quillory/Check2=1"),
                             QStringLiteral("Tarvenco/Quillory/Check3=1")}));
    QVERIFY(p.messages.isEmpty());
}

void TestStartup::storedOptionIsRestored_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("written"); // empty: nothing written

    QTest::newRow("off stays off, unwritten") << QStringLiteral("0") << 0 << QString();
    QTest::newRow("on") << QStringLiteral("1") << 1 << QStringLiteral("1");
    QTest::newRow("surrounding spaces") << QStringLiteral("  1 ") << 1 << QStringLiteral("1");
    QTest::newRow("plus sign") << QStringLiteral("+1") << 1 << QStringLiteral("1");
    QTest::newRow("minus zero") << QStringLiteral("-0") << 0 << QString();
    QTest::newRow("leading zeros") << QStringLiteral("001") << 1 << QStringLiteral("1");
    QTest::newRow("greyed") << QStringLiteral("2") << 2 << QStringLiteral("2");
}

void TestStartup::storedOptionIsRestored()
{
    QFETCH(QString, stored);
    QFETCH(int, value);
    QFETCH(QString, written);
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    store(p, QStringLiteral("Check2"), stored);
    Form1 w(p);
    w.Form_Load();

    QVERIFY(p.messages.isEmpty());
    QCOMPARE(Form1::CheckValue(w.Check2), value);
    if (value == 2)
        QCOMPARE(w.Check2->checkState(), Qt::PartiallyChecked);
    const QString write = QStringLiteral("Tarvenco/Quillory/Check2=") + written;
    QCOMPARE(p.settingWrites.contains(write), !written.isEmpty());
    QCOMPARE(p.settingWrites.size(), written.isEmpty() ? 2 : 3);
    QCOMPARE(Form1::CheckValue(w.Check1), 1);
    QCOMPARE(Form1::CheckValue(w.Check3), 1);
}

void TestStartup::badStoredOptionNamesItsStep_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("description");

    QTest::newRow("letters") << QStringLiteral("Check1") << QStringLiteral("abc") << 142
                             << QStringLiteral("Type mismatch");
    QTest::newRow("empty text") << QStringLiteral("Check1") << QString() << 142
                                << QStringLiteral("Type mismatch");
    QTest::newRow("only spaces") << QStringLiteral("Check1") << QStringLiteral("   ") << 142
                                 << QStringLiteral("Type mismatch");
    QTest::newRow("sign alone") << QStringLiteral("Check2") << QStringLiteral("-") << 144
                                << QStringLiteral("Type mismatch");
    QTest::newRow("digit then letter")
        << QStringLiteral("Check2") << QStringLiteral("1x") << 144 << QStringLiteral("Type mismatch");
    QTest::newRow("huge number then letter")
        << QStringLiteral("Check3") << QStringLiteral("99999999999999999999x") << 146
        << QStringLiteral("Type mismatch");
    QTest::newRow("above 16 bits") << QStringLiteral("Check3") << QStringLiteral("32768") << 146
                                   << QStringLiteral("Overflow");
    QTest::newRow("below 16 bits") << QStringLiteral("Check3") << QStringLiteral("-32769") << 146
                                   << QStringLiteral("Overflow");
    QTest::newRow("far too many digits")
        << QStringLiteral("Check1") << QStringLiteral("123456789012345678901234567890") << 142
        << QStringLiteral("Overflow");
    QTest::newRow("number the box refuses")
        << QStringLiteral("Check2") << QStringLiteral("3") << 144 << QStringLiteral("Invalid property value");
    QTest::newRow("negative number") << QStringLiteral("Check3") << QStringLiteral("-1") << 146
                                     << QStringLiteral("Invalid property value");
    QTest::newRow("largest 16-bit number") << QStringLiteral("Check1") << QStringLiteral("32767") << 142
                                           << QStringLiteral("Invalid property value");
}

void TestStartup::badStoredOptionNamesItsStep()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, step);
    QFETCH(QString, description);
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    store(p, key, stored);
    Form1 w(p);
    w.Form_Load();

    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text, reportText(description, step));
    QCOMPARE(p.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(p.messages[0].style, 48);

    const std::pair<QCheckBox *, QString> boxes[] = {{w.Check1, QStringLiteral("Check1")},
                                                     {w.Check2, QStringLiteral("Check2")},
                                                     {w.Check3, QStringLiteral("Check3")}};
    for (const auto &[box, name] : boxes) {
        // The bad one keeps its design-time state and its stored text.
        const bool bad = name == key;
        QCOMPARE(Form1::CheckValue(box), bad ? 0 : 1);
        QCOMPARE(setting(p, name), bad ? stored : QStringLiteral("1"));
    }
}

void TestStartup::optionTurnedOffStaysOffAfterRestart()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    {
        Form1 first(p);
        first.Form_Load();
        first.Check3->click();
        QCOMPARE(setting(p, QStringLiteral("Check3")), QStringLiteral("0"));
    }
    p.settingWrites.clear();
    Form1 second(p);
    second.Form_Load();
    QCOMPARE(Form1::CheckValue(second.Check1), 1);
    QCOMPARE(Form1::CheckValue(second.Check2), 1);
    QCOMPARE(Form1::CheckValue(second.Check3), 0);

    // Deleting the stored values brings the defaults back.
    p.settings.clear();
    Form1 third(p);
    third.Form_Load();
    QCOMPARE(Form1::CheckValue(third.Check3), 1);
    QCOMPARE(setting(p, QStringLiteral("Check3")), QStringLiteral("1"));
}

void TestStartup::greyedOptionBecomesOrdinaryAfterUserClick()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    store(p, QStringLiteral("Check1"), QStringLiteral("2"));
    Form1 w(p);
    w.Form_Load();
    QCOMPARE(w.Check1->checkState(), Qt::PartiallyChecked);
    p.settingWrites.clear();

    w.Check1->click();
    QCOMPARE(Form1::CheckValue(w.Check1), 1);
    QCOMPARE(p.settingWrites, QList<QString>{QStringLiteral("Tarvenco/Quillory/Check1=1")});
    // From now on clicks only switch off and on: greyed is never chosen.
    w.Check1->click();
    QCOMPARE(Form1::CheckValue(w.Check1), 0);
    w.Check1->click();
    QCOMPARE(Form1::CheckValue(w.Check1), 1);
    QCOMPARE(setting(p, QStringLiteral("Check1")), QStringLiteral("1"));
    QCOMPARE(p.settingWrites.size(), 3);
}

void TestStartup::everyChangeIsStored()
{
    FakePlatform p;
    p.programFolder = m_programFolder.path();
    Form1 w(p);
    w.Form_Load();
    p.settingWrites.clear();

    w.Check2->click();
    Form1::SetCheckValue(w.Check3, 0); // a command setting an option
    Form1::SetCheckValue(w.Check1, 1); // unchanged: nothing to write
    w.Check2->click();
    QCOMPARE(p.settingWrites,
             (QList<QString>{QStringLiteral("Tarvenco/Quillory/Check2=0"),
                             QStringLiteral("Tarvenco/Quillory/Check3=0"),
                             QStringLiteral("Tarvenco/Quillory/Check2=1")}));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
