// The export cores run on a list model and a scripted platform alone: this
// test links quillory_cores without the window.

#include "export/clipboard.h"
#include "export/paddedtextsave.h"
#include "export/workbookexport.h"
#include "platform/errorreport.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"

#include "listsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kProcedure = QStringLiteral("in Test.Module.Command ");

const QString kCopied = QStringLiteral("Results have been copied to the clipboard.\r\r"
                                       "Click a text area where you normally type and press Ctrl+V to "
                                       "paste the clipboard.");
const QString kNotInstalledHere =
    QStringLiteral("Excel is not installed on this computer. You need to have it "
                   "installed to use this software without error.");
const QString kNotInstalledFeature =
    QStringLiteral("Excel is not installed on this computer. You need to have "
                   "it installed to use this feature.");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestExportCores : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void copiesTheListAndConfirms_data();
    void copiesTheListAndConfirms();
    void savesTheListWhileBusy_data();
    void savesTheListWhileBusy();
    void workbookExportStopsBeforeBusy_data();
    void workbookExportStopsBeforeBusy();
    void workbookIsHandedToTheProgramWhileBusy();

private:
    std::unique_ptr<FakePlatform> m_platform;
    QList<bool> m_busy; // each setBusy call, in order

    std::function<void(bool)> setBusy()
    {
        return [this](bool busy) { m_busy.append(busy); };
    }
    static std::function<void()> yield()
    {
        return [] {};
    }
};

void TestExportCores::init()
{
    m_platform = std::make_unique<FakePlatform>();
    m_busy.clear();
}

void TestExportCores::copiesTheListAndConfirms_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one column, one line per entry")
        << QStringList{QStringLiteral(" Valid Numbers")}
        << QList<QStringList>{{QStringLiteral("888-342-9122")}, {QStringLiteral("1")}} << QList<int>{}
        << QStringLiteral("888-342-9122\r\n1\r\n");
    QTest::newRow("inner cells padded to the entries, not the titles")
        << QStringList{QStringLiteral("A title longer than any entry"), QStringLiteral("Note")}
        << QList<QStringList>{{QStringLiteral("888-342-9122"), QStringLiteral("a")},
                              {QStringLiteral("1"), QString()}}
        << QList<int>{} << QStringLiteral("888-342-9122\ta\r\n1           \t\r\n");
    QTest::newRow("unchecked entry left out")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QStringLiteral("1")}, {QStringLiteral("2")}} << QList<int>{0}
        << QStringLiteral("2\r\n");
    QTest::newRow("empty list keeps what the clipboard holds")
        << QStringList{QStringLiteral("N")} << QList<QStringList>{} << QList<int>{}
        << QStringLiteral("before");
}

void TestExportCores::copiesTheListAndConfirms()
{
    QFETCH(QStringList, titles);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, unchecked);
    QFETCH(QString, expected);

    NumberListModel model;
    fill(model, titles, rows, unchecked);
    m_platform->clipboard = QStringLiteral("before");

    Guarded proc(*m_platform, kProcedure);
    copyResultsToClipboard(proc, *m_platform, model, yield());

    QCOMPARE(m_platform->clipboard, expected);
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages.constFirst().text, kCopied);
}

void TestExportCores::savesTheListWhileBusy_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("reportedAt"); // empty when nothing is reported

    QTest::newRow("written") << true
                             << QByteArray("Number  \tNote\t\r\n"
                                           "555-1234\tok  \t\r\n"
                                           "1       \t    \t\r\n")
                             << QString();
    QTest::newRow("folder missing: reported, nothing written")
        << false << QByteArray()
        << Procedure::SaveListviewProperlySpacedWithoutProgressBar + QStringLiteral("at line 136\r\r");
}

void TestExportCores::savesTheListWhileBusy()
{
    QFETCH(bool, folderExists);
    QFETCH(QByteArray, expected);
    QFETCH(QString, reportedAt);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = folderExists ? dir.filePath(QStringLiteral("out.txt"))
                                      : dir.filePath(QStringLiteral("missing/out.txt"));
    NumberListModel model;
    fill(model, {QStringLiteral("Number"), QStringLiteral("Note")},
         {{QStringLiteral("555-1234"), QStringLiteral("ok")}, {QStringLiteral("1")}});

    Guarded proc(*m_platform, kProcedure);
    saveResultsAsText(proc, *m_platform, model, path, setBusy(), yield(), yield());

    QCOMPARE(m_busy, (QList<bool>{true, false}));
    QCOMPARE(QFile::exists(path), folderExists);
    QCOMPARE(readAll(path), expected);
    if (reportedAt.isEmpty()) {
        QCOMPARE(m_platform->messages.size(), 0);
    } else {
        QCOMPARE(m_platform->messages.size(), 1);
        QVERIFY2(m_platform->messages.constFirst().text.contains(reportedAt),
                 qPrintable(m_platform->messages.constFirst().text));
    }
}

void TestExportCores::workbookExportStopsBeforeBusy_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no spreadsheet program: both messages")
        << false << 1 << QStringList{kNotInstalledHere, kNotInstalledFeature};
    QTest::newRow("empty list: nothing at all") << true << 0 << QStringList{};
}

void TestExportCores::workbookExportStopsBeforeBusy()
{
    QFETCH(bool, installed);
    QFETCH(int, entries);
    QFETCH(QStringList, messages);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_platform->spreadsheetFolder = dir.filePath(QStringLiteral("sheets"));
    if (installed)
        m_platform->spreadsheetProgram = {QStringLiteral("/opt/calc/bin/calc"), {}};
    NumberListModel model;
    model.addColumn(QStringLiteral(" Valid Numbers"));
    for (int i = 0; i < entries; ++i)
        model.append(QStringView(QStringLiteral("888-342-9122")));

    Guarded proc(*m_platform, kProcedure);
    exportListAsWorkbook(proc, *m_platform, model, QStringLiteral("valid"), setBusy(), yield());

    QStringList shown;
    for (const FakePlatform::Message &message : std::as_const(m_platform->messages))
        shown.append(message.text);
    QCOMPARE(shown, messages);
    QVERIFY(m_busy.isEmpty());
    QVERIFY(m_platform->shellCalls.isEmpty());
    QVERIFY(!QDir(m_platform->spreadsheetFolder).exists());
}

void TestExportCores::workbookIsHandedToTheProgramWhileBusy()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_platform->spreadsheetFolder = dir.filePath(QStringLiteral("sheets"));
    m_platform->spreadsheetProgram = {QStringLiteral("/opt/calc/bin/calc"), {QStringLiteral("--calc")}};
    NumberListModel model;
    fill(model, {QStringLiteral(" Valid Numbers")},
         {{QStringLiteral("888-342-9122")}, {QStringLiteral("1")}});

    Guarded proc(*m_platform, kProcedure);
    exportListAsWorkbook(proc, *m_platform, model, QStringLiteral("valid"), setBusy(), yield());

    QCOMPARE(m_platform->messages.size(), 0);
    QCOMPARE(m_busy, (QList<bool>{true, false}));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    const FakePlatform::ShellCall call = m_platform->shellCalls.constFirst();
    QCOMPARE(call.program, QStringLiteral("/opt/calc/bin/calc"));
    QCOMPARE(call.arguments.size(), 2);
    QCOMPARE(call.arguments.constFirst(), QStringLiteral("--calc"));
    const QString workbook = call.arguments.constLast();
    QCOMPARE(QFileInfo(workbook).absolutePath(), QDir(m_platform->spreadsheetFolder).absolutePath());
    QVERIFY2(QFileInfo(workbook).fileName().startsWith(QStringLiteral("Quillory-valid-")),
             qPrintable(workbook));
    // A zip archive: the workbook was finished before it was handed over.
    QVERIFY(readAll(workbook).startsWith("PK\x03\x04"));
}

QTEST_GUILESS_MAIN(TestExportCores)
#include "tst_exportcores.moc"
