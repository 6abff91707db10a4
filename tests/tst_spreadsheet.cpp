#include "app/form1.h"
#include "export/xlsxworkbook.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString notInstalledCheck = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this software without error.");
const QString notInstalledCommand = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this feature.");

// What a real reader (openpyxl) finds in a workbook.
struct Sheet
{
    QJsonObject root;
    QJsonObject cells;
    bool has(const QString &cell) const { return cells.contains(cell); }
    QString value(const QString &cell) const { return cells[cell][QLatin1String("value")].toString(); }
    QString format(const QString &cell) const { return cells[cell][QLatin1String("format")].toString(); }
    QString type(const QString &cell) const { return cells[cell][QLatin1String("type")].toString(); }
    double width(const QString &column) const { return root[QLatin1String("widths")][column].toDouble(); }
    int maxRow() const { return root[QLatin1String("max_row")].toInt(); }
};

} // namespace

class TestSpreadsheet : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void notInstalledShowsBothMessagesAndNothingElse_data();
    void notInstalledShowsBothMessagesAndNothingElse();
    void emptyListDoesNothing();
    void writesTextCellsAndHandsTheWorkbookOver_data();
    void writesTextCellsAndHandsTheWorkbookOver();
    void uncheckedEntryLeavesItsRowEmpty();
    void equalsSignsAreRemovedFromLaterColumnsOnly();
    void columnWidthCountsCharactersBeyondUFFFFOnce();
    void charactersXmlCannotCarryKeepTheWorkbookReadable();
    void neverReplacesAnExistingWorkbook();
    void removesOnlyItsOwnWorkbooksOlderThanADay();
    void unusableFolderIsReportedOnce_data();
    void unusableFolderIsReportedOnce();
    void failedHandOverIsReportedOnce();
    void overlongTextsAreReportedOnceAndCut();
    void entriesPastTheLastRowAreReportedOnce();
    void changesDuringTheExportDoNotReachTheWorkbook();
    void handsTheWorkbookToARealProgram();
    void libreOfficeReadsTheWorkbook();
    void closingDuringTheExportLeavesNoFile_data();
    void closingDuringTheExportLeavesNoFile();
    void escapedTextsAreCutOnlyWhenLongerThanACell_data();
    void escapedTextsAreCutOnlyWhenLongerThanACell();
    void failedExportHoldsNoDescriptorAndNoSpace_data();
    void failedExportHoldsNoDescriptorAndNoSpace();
    void workbookThatCannotBePackedLetsGoOfItsFiles();
    void namedProgramThatCannotStartIsReported_data();
    void namedProgramThatCannotStartIsReported();
    void namedProgramIsNeverReplacedByAnother_data();
    void namedProgramIsNeverReplacedByAnother();

private:
    ListView *list(const QString &button) const;
    void click(const QString &button);
    QStringList workbooks() const;
    Sheet read(const QString &path, bool sizeOnly = false);
    QJsonObject readDecoded(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Form1> m_form;
};

void TestSpreadsheet::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_platform = std::make_unique<FakePlatform>();
    // A folder that does not exist yet: the export makes it.
    m_platform->spreadsheetFolder = m_dir->filePath(QStringLiteral("cache/quillory"));
    m_platform->spreadsheetProgram = {QStringLiteral("/opt/calc/bin/calc"),
                                      {QStringLiteral("--calc"), QStringLiteral("-n")}};
    m_form = std::make_unique<Form1>(*m_platform);
    m_form->Form_Load();
    if (m_form->ListView2->ColumnHeaders.Count() == 0) {
        m_form->ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
        m_form->ListView3->ColumnHeaders.Add(QStringLiteral("Invalid Numbers"));
    }
    m_platform->messages.clear();
    m_platform->shellCalls.clear();
}

void TestSpreadsheet::cleanup()
{
    m_form.reset();
    m_platform.reset();
    m_dir.reset();
}

ListView *TestSpreadsheet::list(const QString &button) const
{
    return button == QLatin1String("PushButton13") ? m_form->ListView2 : m_form->ListView3;
}

void TestSpreadsheet::click(const QString &button)
{
    if (button == QLatin1String("PushButton13"))
        m_form->PushButton13_Click();
    else
        m_form->PushButton7_Click();
}

QStringList TestSpreadsheet::workbooks() const
{
    return QDir(m_platform->spreadsheetFolder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

Sheet TestSpreadsheet::read(const QString &path, bool sizeOnly)
{
    QProcess reader;
    QStringList arguments{QStringLiteral(QUILLORY_READ_WORKBOOK)};
    if (sizeOnly)
        arguments << QStringLiteral("--size");
    reader.start(QStringLiteral("/usr/bin/python3"), arguments << path);
    if (!reader.waitForFinished(120000))
        qFatal("the workbook reader did not finish");
    if (reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 3)
        return {};
    const QByteArray out = reader.readAllStandardOutput();
    if (reader.exitCode() != 0)
        qWarning("%s", reader.readAllStandardError().constData());
    Sheet sheet;
    sheet.root = QJsonDocument::fromJson(out).object();
    sheet.cells = sheet.root[QLatin1String("cells")].toObject();
    return sheet;
}

// The first sheet's texts as a spreadsheet shows them: openpyxl reads the
// stored text and its own unescape() turns the sheet's "_xHHHH_" escapes back
// into characters. An empty object when openpyxl is missing.
QJsonObject TestSpreadsheet::readDecoded(const QString &path)
{
    static const char script[] = "import json, sys\n"
                                 "try:\n"
                                 "    import openpyxl\n"
                                 "    from openpyxl.utils.escape import unescape\n"
                                 "except ImportError:\n"
                                 "    sys.exit(3)\n"
                                 "sheet = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                                 "json.dump({c.coordinate: unescape(c.value) for row in sheet.iter_rows()\n"
                                 "           for c in row if isinstance(c.value, str)}, sys.stdout)\n";
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!reader.waitForFinished(120000))
        qFatal("the workbook reader did not finish");
    if (reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 3)
        return {};
    if (reader.exitCode() != 0)
        qWarning("%s", reader.readAllStandardError().constData());
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

#define READ_OR_SKIP(sheet, ...) \
    const Sheet sheet = read(__VA_ARGS__); \
    if (sheet.root.isEmpty()) \
    QSKIP("openpyxl cannot be imported by /usr/bin/python3 (Debian package python3-openpyxl)")

void TestSpreadsheet::notInstalledShowsBothMessagesAndNothingElse_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("valid list") << QStringLiteral("PushButton13");
    QTest::newRow("invalid list") << QStringLiteral("PushButton7");
}

void TestSpreadsheet::notInstalledShowsBothMessagesAndNothingElse()
{
    QFETCH(QString, button);
    m_platform->spreadsheetProgram = {};
    list(button)->ListItems.Add(QStringLiteral("555-1234"));

    click(button);

    QCOMPARE(m_platform->messages.size(), 2);
    QCOMPARE(m_platform->messages[0].text, notInstalledCheck);
    QCOMPARE(m_platform->messages[1].text, notInstalledCommand);
    for (const auto &message : std::as_const(m_platform->messages)) {
        QCOMPARE(message.style, 0);
        QCOMPARE(message.title, QString());
    }
    QVERIFY(m_platform->shellCalls.isEmpty());
    QVERIFY(workbooks().isEmpty());
    QCOMPARE(m_form->MousePointer(), 0);
}

void TestSpreadsheet::emptyListDoesNothing()
{
    int busySeen = 0;
    m_platform->onProcessEvents = [&] { busySeen += m_form->IsBusy(); };

    m_form->PushButton13_Click();

    QVERIFY(m_platform->messages.isEmpty());
    QVERIFY(m_platform->shellCalls.isEmpty());
    QVERIFY(!QFileInfo::exists(m_platform->spreadsheetFolder));
    QCOMPARE(busySeen, 0);
    QCOMPARE(m_form->MousePointer(), 0);
}

void TestSpreadsheet::writesTextCellsAndHandsTheWorkbookOver_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("kind");
    QTest::newRow("valid list") << QStringLiteral("PushButton13") << QStringLiteral("valid");
    QTest::newRow("invalid list") << QStringLiteral("PushButton7") << QStringLiteral("invalid");
}

void TestSpreadsheet::writesTextCellsAndHandsTheWorkbookOver()
{
    QFETCH(QString, button);
    QFETCH(QString, kind);
    ListView *view = list(button);
    // Texts a spreadsheet would turn into numbers, dates or formulas if it
    // were left to guess.
    const QStringList entries{QStringLiteral("888-342-9122"),
                              QStringLiteral("0123"),
                              QStringLiteral("1-888-342-9122 ext. 12"),
                              QStringLiteral("=1+1"),
                              QStringLiteral("2021/08/31"),
                              QStringLiteral("1E5"),
                              QStringLiteral("  leading and trailing  "),
                              QStringLiteral("<a&b>")};
    for (const QString &entry : entries)
        view->ListItems.Add(entry);

    click(button);

    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    const FakePlatform::ShellCall call = m_platform->shellCalls.first();
    QCOMPARE(call.program, QStringLiteral("/opt/calc/bin/calc"));
    QCOMPARE(call.arguments.size(), 3);
    QCOMPARE(call.arguments.mid(0, 2), (QStringList{QStringLiteral("--calc"), QStringLiteral("-n")}));
    const QFileInfo book(call.arguments[2]);
    QVERIFY(book.isFile());
    QCOMPARE(book.absolutePath(), QFileInfo(m_platform->spreadsheetFolder).absoluteFilePath());
    QVERIFY2(QRegularExpression(QStringLiteral("^Quillory-%1-\\d{8}-\\d{6}-[0-9a-f]{6}\\.xlsx$").arg(kind))
                 .match(book.fileName())
                 .hasMatch(),
             qPrintable(book.fileName()));
    QCOMPARE(workbooks(), QStringList{book.fileName()});
    QCOMPARE(m_form->MousePointer(), 0);

    READ_OR_SKIP(sheet, book.filePath());
    QCOMPARE(sheet.root[QLatin1String("sheets")].toInt(), 1);
    QCOMPARE(sheet.value(QStringLiteral("A1")), view->ColumnHeaders.Item(1).Text());
    QCOMPARE(sheet.format(QStringLiteral("A1")), QStringLiteral("@"));
    for (int i = 0; i < entries.size(); ++i) {
        const QString cell = QStringLiteral("A%1").arg(i + 2);
        QCOMPARE(sheet.value(cell), entries[i]);
        QCOMPARE(sheet.type(cell), QStringLiteral("s"));
        QCOMPARE(sheet.format(cell), QStringLiteral("@"));
    }
    QCOMPARE(sheet.maxRow(), entries.size() + 1);
    QCOMPARE(sheet.cells.size(), entries.size() + 1);
    // Fitted to the longest text (24 characters), in character units.
    QVERIFY2(sheet.width(QStringLiteral("A")) >= 25 && sheet.width(QStringLiteral("A")) < 26,
             qPrintable(QString::number(sheet.width(QStringLiteral("A")))));
}

void TestSpreadsheet::uncheckedEntryLeavesItsRowEmpty()
{
    ListView *view = m_form->ListView2;
    view->ListItems.Add(QStringLiteral("555-0001"));
    view->ListItems.Add(QStringLiteral("555-0002")).SetChecked(false);
    view->ListItems.Add(QStringLiteral("555-0003"));
    view->ListItems.Add(QStringLiteral("")); // empty entries keep their row too
    view->ListItems.Add(QStringLiteral("555-0005"));

    m_form->PushButton13_Click();

    QCOMPARE(m_platform->shellCalls.size(), 1);
    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("555-0001"));
    QVERIFY(!sheet.has(QStringLiteral("A3")));
    QCOMPARE(sheet.value(QStringLiteral("A4")), QStringLiteral("555-0003"));
    QCOMPARE(sheet.format(QStringLiteral("A5")), QStringLiteral("@")); // written, though empty
    QCOMPARE(sheet.value(QStringLiteral("A6")), QStringLiteral("555-0005"));
}

void TestSpreadsheet::equalsSignsAreRemovedFromLaterColumnsOnly()
{
    ListView *view = m_form->ListView3;
    view->ColumnHeaders.Add(QStringLiteral("=Note="));
    view->ListItems.Add(QStringLiteral("=555-0001")).SetSubItems(1, QStringLiteral("=a==b="));
    view->ListItems.Add(QStringLiteral("555-0002")).SetSubItems(1, QStringLiteral("===="));
    view->ListItems.Add(QStringLiteral("555-0003"));

    m_form->PushButton7_Click();

    QCOMPARE(m_platform->shellCalls.size(), 1);
    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    QCOMPARE(sheet.value(QStringLiteral("B1")), QStringLiteral("=Note="));
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("=555-0001"));
    QCOMPARE(sheet.value(QStringLiteral("B2")), QStringLiteral("ab"));
    QCOMPARE(sheet.format(QStringLiteral("B2")), QStringLiteral("@"));
    QCOMPARE(sheet.type(QStringLiteral("A2")), QStringLiteral("s"));
    QVERIFY(!sheet.has(QStringLiteral("B3")) || sheet.value(QStringLiteral("B3")).isEmpty());
    QCOMPARE(sheet.value(QStringLiteral("A4")), QStringLiteral("555-0003"));
    // Column B is as wide as its title, the longest text written there.
    QVERIFY(sheet.width(QStringLiteral("B")) >= 7 && sheet.width(QStringLiteral("B")) < 8);
}

void TestSpreadsheet::columnWidthCountsCharactersBeyondUFFFFOnce()
{
    // Twenty characters, forty UTF-16 units.
    QString wide;
    for (int i = 0; i < 20; ++i)
        wide += QString::fromUtf8("\U0001F600");
    m_form->ListView2->ListItems.Add(wide);
    m_form->ListView2->ListItems.Add(QStringLiteral("555-0001"));

    m_form->PushButton13_Click();

    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    QCOMPARE(sheet.value(QStringLiteral("A2")), wide);
    QVERIFY2(sheet.width(QStringLiteral("A")) >= 21 && sheet.width(QStringLiteral("A")) < 22,
             qPrintable(QString::number(sheet.width(QStringLiteral("A")))));
}

void TestSpreadsheet::removesOnlyItsOwnWorkbooksOlderThanADay()
{
    const QString folder = m_platform->spreadsheetFolder;
    QVERIFY(QDir().mkpath(folder));
    const QDateTime now = QDateTime::currentDateTime();
    const auto make = [&](const QString &name, qint64 ageSeconds) {
        const QString path = QDir(folder).filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("x") == 1 && file.flush());
        QVERIFY(file.setFileTime(now.addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    };
    const qint64 day = 24 * 60 * 60;
    make(QStringLiteral("Quillory-valid-20200101-000000-0a1b2c.xlsx"), 3 * day);
    make(QStringLiteral("Quillory-invalid-20200101-000000-ffffff.xlsx"), day + 60);
    make(QStringLiteral("Quillory-valid-20200102-000000-123456.xlsx"), day - 60); // not a day old
    make(QStringLiteral("Quillory-valid-mine.xlsx"), 3 * day);                    // not a name it makes
    make(QStringLiteral("Quillory-valid-20200101-000000-0A1B2C.xlsx"), 3 * day);
    make(QStringLiteral("report.xlsx"), 3 * day);
    make(QStringLiteral("notes.txt"), 3 * day);
    QVERIFY(QDir(folder).mkdir(QStringLiteral("Quillory-valid-20200101-000000-dddddd.xlsx")));
    // A link named like a workbook, to a file elsewhere: neither goes.
    const QString elsewhere = m_dir->filePath(QStringLiteral("kept.xlsx"));
    {
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(elsewhere,
                        QDir(folder).filePath(QStringLiteral("Quillory-valid-20200101-000000-eeeeee.xlsx"))));
    const QStringList before = workbooks();

    m_form->ListView2->ListItems.Add(QStringLiteral("555-0001"));
    m_form->PushButton13_Click();

    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    const QString handedOver = QFileInfo(m_platform->shellCalls.first().arguments.last()).fileName();
    QVERIFY(QFileInfo::exists(m_platform->shellCalls.first().arguments.last()));
    QStringList expected = before;
    expected.removeOne(QStringLiteral("Quillory-valid-20200101-000000-0a1b2c.xlsx"));
    expected.removeOne(QStringLiteral("Quillory-invalid-20200101-000000-ffffff.xlsx"));
    expected.append(handedOver);
    expected.sort();
    QStringList after = workbooks();
    after.sort();
    QCOMPARE(after, expected);
    QVERIFY(QFileInfo(QDir(folder).filePath(QStringLiteral("Quillory-valid-20200101-000000-dddddd.xlsx")))
                .isDir());
    QVERIFY(QFileInfo::exists(elsewhere));

    // A day later the next export removes that workbook and keeps its own.
    QFile handed(QDir(folder).filePath(handedOver));
    QVERIFY(handed.open(QIODevice::ReadWrite));
    QVERIFY(handed.setFileTime(now.addSecs(-3 * day), QFileDevice::FileModificationTime));
    handed.close();
    m_platform->shellCalls.clear();
    m_form->ListView3->ListItems.Add(QStringLiteral("x"));
    m_form->PushButton7_Click();
    QCOMPARE(m_platform->shellCalls.size(), 1);
    QVERIFY(!QFileInfo::exists(QDir(folder).filePath(handedOver)));
    QVERIFY(QFileInfo::exists(m_platform->shellCalls.first().arguments.last()));
}

void TestSpreadsheet::charactersXmlCannotCarryKeepTheWorkbookReadable()
{
    // Control characters (a binary file read as text) cannot appear in the
    // sheet's XML; the spreadsheet's own "_xHHHH_" escapes carry them, and a
    // text that looks like such an escape is protected so it stays as typed.
    ListView *view = m_form->ListView2;
    view->ListItems.Add(QStringLiteral("555\x01") + QChar(0) + QStringLiteral("1234"));
    view->ListItems.Add(QStringLiteral("_x0041_"));
    view->ListItems.Add(QStringLiteral("caf\u00e9 \u260e \U0001F4DE"));

    m_form->PushButton13_Click();

    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_platform->shellCalls.size(), 1);
    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    // openpyxl leaves the escapes undecoded, as they are stored.
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("555_x0001__x0000_1234"));
    QCOMPARE(sheet.value(QStringLiteral("A3")), QStringLiteral("_x005F_x0041_"));
    QCOMPARE(sheet.value(QStringLiteral("A4")), QStringLiteral("caf\u00e9 \u260e \U0001F4DE"));
}

void TestSpreadsheet::neverReplacesAnExistingWorkbook()
{
    m_form->ListView2->ListItems.Add(QStringLiteral("555-0001"));
    m_form->PushButton13_Click();
    m_form->PushButton13_Click();

    QCOMPARE(m_platform->shellCalls.size(), 2);
    const QString first = m_platform->shellCalls[0].arguments.last();
    const QString second = m_platform->shellCalls[1].arguments.last();
    QVERIFY(first != second);
    QCOMPARE(workbooks().size(), 2);
}

void TestSpreadsheet::unusableFolderIsReportedOnce_data()
{
    QTest::addColumn<QString>("inside"); // path below a plain file
    QTest::newRow("folder is a file") << QString();
    QTest::newRow("folder under a file") << QStringLiteral("/sub");
}

void TestSpreadsheet::unusableFolderIsReportedOnce()
{
    QFETCH(QString, inside);
    QTemporaryFile file;
    QVERIFY(file.open());
    m_platform->spreadsheetFolder = file.fileName() + inside;
    for (int i = 0; i < 100; ++i)
        m_form->ListView2->ListItems.Add(QStringLiteral("555-0001"));

    m_form->PushButton13_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    const FakePlatform::Message report = m_platform->messages.first();
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QCOMPARE(report.style, 48);
    QVERIFY2(report.text.contains(Procedure::PushButton13_Click + QStringLiteral("at line 114")),
             qPrintable(report.text));
    QVERIFY(report.text.startsWith(QStringLiteral("Cannot create")));
    QVERIFY(m_platform->shellCalls.isEmpty());
    QCOMPARE(m_form->MousePointer(), 0);
}

void TestSpreadsheet::failedHandOverIsReportedOnce()
{
    m_platform->shellFails = true;
    m_form->ListView3->ListItems.Add(QStringLiteral("555-0001"));

    m_form->PushButton7_Click();

    QCOMPARE(m_platform->shellCalls.size(), 1);
    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.first().text;
    QVERIFY2(text.contains(QStringLiteral("PushButton7_Click at line 172")), qPrintable(text));
    // The user is told where the finished workbook is.
    const QString book = m_platform->shellCalls.first().arguments.last();
    QVERIFY(text.contains(QDir::toNativeSeparators(book)));
    QVERIFY(QFileInfo(book).isFile());
    QCOMPARE(m_form->MousePointer(), 0);
}

void TestSpreadsheet::overlongTextsAreReportedOnceAndCut()
{
    ListView *view = m_form->ListView2;
    view->ListItems.Add(QString(40000, QLatin1Char('9')));
    view->ListItems.Add(QStringLiteral("555-0002"));
    view->ListItems.Add(QString(32767, QLatin1Char('8'))); // fits exactly
    view->ListItems.Add(QString(32768, QChar(0x260e)));

    m_form->PushButton13_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.first().text;
    QVERIFY2(text.startsWith(QStringLiteral(
                 "A cell holds at most 32,767 characters: 2 texts were cut short, the first on row 2\r\n")),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("at line 154")));
    QCOMPARE(m_platform->shellCalls.size(), 1);

    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    QCOMPARE(sheet.value(QStringLiteral("A2")), QString(32767, QLatin1Char('9')));
    QCOMPARE(sheet.value(QStringLiteral("A3")), QStringLiteral("555-0002"));
    QCOMPARE(sheet.value(QStringLiteral("A4")), QString(32767, QLatin1Char('8')));
    QCOMPARE(sheet.value(QStringLiteral("A5")), QString(32767, QChar(0x260e)));
    // Capped at the widest column a sheet allows.
    QVERIFY(sheet.width(QStringLiteral("A")) >= 255 && sheet.width(QStringLiteral("A")) < 256);
}

void TestSpreadsheet::entriesPastTheLastRowAreReportedOnce()
{
    ListView *view = m_form->ListView2;
    NumberListModel *model = view->listModel();
    model->beginBatch();
    for (int i = 0; i < 1048580; ++i)
        model->append(QLatin1StringView("555-0100"));
    model->endBatch();

    m_form->PushButton13_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.first().text;
    QVERIFY2(text.startsWith(QStringLiteral("The list has 1,048,580 entries; a sheet holds 1,048,575: the "
                                            "first 1,048,575 were written\r\n")),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("at line 140")));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    QCOMPARE(m_form->MousePointer(), 0);

    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last(), true);
    QCOMPARE(sheet.maxRow(), 1048576);
}

void TestSpreadsheet::changesDuringTheExportDoNotReachTheWorkbook()
{
    ListView *view = m_form->ListView3;
    for (int i = 1; i <= 50; ++i)
        view->ListItems.Add(QStringLiteral("555-%1").arg(i, 4, 10, QLatin1Char('0')));
    m_form->yielder().setIntervalMs(0); // yield at every chance
    int yields = 0;
    bool alwaysBusy = true;
    m_platform->onProcessEvents = [&] {
        alwaysBusy = alwaysBusy && m_form->IsBusy();
        if (++yields == 10)
            view->ListItems.Remove(1);
        if (yields == 20)
            view->ListItems.Clear();
    };

    m_form->PushButton7_Click();

    QVERIFY(yields > 20);
    QVERIFY(alwaysBusy);
    QCOMPARE(m_form->MousePointer(), 0);
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_platform->shellCalls.size(), 1);
    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    QCOMPARE(sheet.maxRow(), 51);
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("555-0001"));
    QCOMPARE(sheet.value(QStringLiteral("A51")), QStringLiteral("555-0050"));
}

void TestSpreadsheet::libreOfficeReadsTheWorkbook()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    const QStringList entries{QStringLiteral("888-342-9122"), QStringLiteral("0123"),
                              QString::fromUtf8("\u20ac \U0001F600"), QStringLiteral("=1+1")};
    for (const QString &entry : entries)
        m_form->ListView2->ListItems.Add(entry);
    m_form->PushButton13_Click();
    QCOMPARE(m_platform->shellCalls.size(), 1);
    const QString book = m_platform->shellCalls.first().arguments.last();

    // Its own profile, so that no running LibreOffice of the user takes the job.
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QProcess convert;
    convert.start(soffice,
                  {QStringLiteral("-env:UserInstallation=file://") + out.filePath(QStringLiteral("profile")),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                   QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
                   out.path(), book});
    QVERIFY(convert.waitForFinished(120000));
    QFile csv(out.filePath(QFileInfo(book).completeBaseName() + QStringLiteral(".csv")));
    QVERIFY2(csv.open(QIODevice::ReadOnly),
             qPrintable(QString::fromLocal8Bit(convert.readAllStandardError())));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList expected{QStringLiteral(" Valid Numbers")};
    expected += entries;
    QStringList read;
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        if (line.startsWith(QLatin1Char('"')) && line.endsWith(QLatin1Char('"')))
            line = line.mid(1, line.size() - 2);
        read << line;
    }
    QCOMPARE(read, expected);
}

void TestSpreadsheet::closingDuringTheExportLeavesNoFile_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("closeAtYield");
    QTest::newRow("while writing rows") << 1000 << 500;
    // One yield for the title, one per entry, then the file is being finished.
    QTest::newRow("while finishing the file") << 200000 << 200002;
}

void TestSpreadsheet::closingDuringTheExportLeavesNoFile()
{
    QFETCH(int, entries);
    QFETCH(int, closeAtYield);
    NumberListModel *model = m_form->ListView2->listModel();
    model->beginBatch();
    for (int i = 0; i < entries; ++i)
        model->append(QLatin1StringView("555-0100"));
    model->endBatch();
    m_form->yielder().setIntervalMs(0);
    int yields = 0;
    m_platform->onProcessEvents = [&] {
        if (++yields == closeAtYield)
            m_form->Form_Unload();
    };

    m_form->PushButton13->click(); // as the user would: the command unwinds in the click

    QCOMPARE(yields, closeAtYield);
    QVERIFY(m_platform->shellCalls.isEmpty());
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(workbooks(), QStringList());
}

void TestSpreadsheet::handsTheWorkbookToARealProgram()
{
    // The whole way on the real desktop layer: the program named by
    // QUILLORY_SPREADSHEET is started detached and records what it was given.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString record = home.filePath(QStringLiteral("record"));
    QVERIFY(QDir().mkpath(record));
    const QString program = home.filePath(QStringLiteral("fake calc"));
    {
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral(
                         "#!/bin/sh\n"
                         "for a in \"$@\"; do printf '%s\\n' \"$a\"; last=\"$a\"; done > '%1/arguments.tmp'\n"
                         "cp \"$last\" '%1/copy.xlsx'\n"
                         "mv '%1/arguments.tmp' '%1/arguments'\n")
                         .arg(record)
                         .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    const QByteArray oldProgram = qgetenv("QUILLORY_SPREADSHEET");
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("QUILLORY_SPREADSHEET", QFile::encodeName(program));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    const auto restore = qScopeGuard([&] {
        qputenv("QUILLORY_SPREADSHEET", oldProgram);
        qputenv("XDG_CACHE_HOME", oldCache);
    });

    // A message box would wait for a click: close any that shows, and fail.
    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->reject();
        }
    });
    closer.start(50);

    QtPlatform platform;
    Form1 w(platform);
    w.ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
    w.ListView2->ListItems.Add(QStringLiteral("888-342-9122"));
    w.ListView2->ListItems.Add(QStringLiteral("0123"));

    w.PushButton13_Click();

    QCOMPARE(boxes, QStringList());
    QCOMPARE(w.MousePointer(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record + QStringLiteral("/arguments")), 10000);
    QFile arguments(record + QStringLiteral("/arguments"));
    QVERIFY(arguments.open(QIODevice::ReadOnly));
    const QStringList given =
        QString::fromUtf8(arguments.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(given.size(), 1);
    const QFileInfo book(given.first());
    QVERIFY2(book.absoluteFilePath().startsWith(home.filePath(QStringLiteral("cache/"))),
             qPrintable(given.first()));
    QVERIFY(book.fileName().startsWith(QStringLiteral("Quillory-valid-")));

    READ_OR_SKIP(sheet, record + QStringLiteral("/copy.xlsx"));
    QCOMPARE(sheet.value(QStringLiteral("A1")), QStringLiteral(" Valid Numbers"));
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("888-342-9122"));
    QCOMPARE(sheet.value(QStringLiteral("A3")), QStringLiteral("0123"));
    QCOMPARE(sheet.format(QStringLiteral("A3")), QStringLiteral("@"));
}

void TestSpreadsheet::escapedTextsAreCutOnlyWhenLongerThanACell_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected"); // what the cell holds
    QTest::addColumn<bool>("cut");

    const auto repeated = [](const QString &piece, qsizetype length) {
        QString text;
        while (text.size() < length)
            text += piece;
        return text.left(length);
    };
    const QString vt(QChar(0x0B));
    const QString nul(QChar(0));
    const QString lookalike = QStringLiteral("_x0041_");

    QTest::newRow("5,000 vertical tabs") << QString(5000, QChar(0x0B)) << QString(5000, QChar(0x0B)) << false;
    const QString literal = repeated(lookalike, 5000);
    QTest::newRow("5,000 characters of _x0041_ text") << literal << literal << false;
    QTest::newRow("NULs filling a cell") << QString(32767, QChar(0)) << QString(32767, QChar(0)) << false;
    const QString fullLiteral = repeated(lookalike, 32767);
    QTest::newRow("_x0041_ text filling a cell") << fullLiteral << fullLiteral << false;
    const QString mixed = repeated(QStringLiteral("555") + vt + lookalike + QChar(0xFFFF) + nul, 32767);
    QTest::newRow("mixed escapes filling a cell") << mixed << mixed << false;
    QTest::newRow("one control character too many")
        << QString(32768, QChar(0x01)) << QString(32767, QChar(0x01)) << true;
    QTest::newRow("_x0041_ text one character too long")
        << repeated(lookalike, 32768) << repeated(lookalike, 32767) << true;
    QTest::newRow("plain text one character too long")
        << QString(32768, QLatin1Char('7')) << QString(32767, QLatin1Char('7')) << true;
}

void TestSpreadsheet::escapedTextsAreCutOnlyWhenLongerThanACell()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    QFETCH(bool, cut);
    m_form->ListView2->ListItems.Add(entry);
    m_form->ListView2->ListItems.Add(QStringLiteral("555-0002"));

    m_form->PushButton13_Click();

    if (cut) {
        QCOMPARE(m_platform->messages.size(), 1);
        QVERIFY2(m_platform->messages.first().text.startsWith(QStringLiteral(
                     "A cell holds at most 32,767 characters: 1 text was cut short, on row 2\r\n")),
                 qPrintable(m_platform->messages.first().text));
    } else {
        QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text.left(300)));
    }
    QCOMPARE(m_platform->shellCalls.size(), 1);
    const QJsonObject cells = readDecoded(m_platform->shellCalls.first().arguments.last());
    if (cells.isEmpty())
        QSKIP("openpyxl cannot be imported by /usr/bin/python3 (Debian package python3-openpyxl)");
    const QString read = cells[QLatin1String("A2")].toString();
    QCOMPARE(read.size(), expected.size());
    QVERIFY(read == expected); // QCOMPARE would print 32,767 characters
    QCOMPARE(cells[QLatin1String("A3")].toString(), QStringLiteral("555-0002"));
}

namespace {

// A tmpfs of `size` mounted on `folder` for one test, or the reason it cannot be.
QString mountTmpfs(const QString &folder, const QString &size)
{
    QProcess mount;
    mount.start(QStringLiteral("mount"),
                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                 QStringLiteral("size=") + size, QStringLiteral("tmpfs"), folder});
    if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
        return QStringLiteral("cannot mount a tmpfs (needs root): ")
            + QString::fromLocal8Bit(mount.readAllStandardError()).trimmed() + mount.errorString();
    return {};
}

void unmount(const QString &folder)
{
    if (QProcess::execute(QStringLiteral("umount"), {folder}) != 0)
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder}); // still busy: let go
}

// This process's descriptors whose files lie under `folder`.
QStringList descriptorsUnder(const QString &folder)
{
    QStringList found;
    const QString prefix = folder + QLatin1Char('/');
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System);
    for (const QString &fd : fds) {
        char target[4096];
        const QByteArray link = QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd);
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const QString path = QFile::decodeName(QByteArray(target, int(n)));
        if (path == folder || path.startsWith(prefix))
            found << fd + QStringLiteral(" -> ") + path;
    }
    return found;
}

qulonglong freeBlocks(const QString &folder)
{
    struct statvfs fs
    {
    };
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return 0;
    return fs.f_bfree;
}

} // namespace

void TestSpreadsheet::failedExportHoldsNoDescriptorAndNoSpace_data()
{
    QTest::addColumn<int>("entries");
    // Rows of about 100 bytes on a 1 MiB file system.
    QTest::newRow("rows do not fit") << 40000;
    QTest::newRow("rows fit, the finished sheet does not") << 7000;
}

void TestSpreadsheet::failedExportHoldsNoDescriptorAndNoSpace()
{
    QFETCH(int, entries);
    const QString disk = m_dir->filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    if (const QString problem = mountTmpfs(disk, QStringLiteral("1m")); !problem.isEmpty())
        QSKIP(qPrintable(problem));
    const auto unmountAtEnd = qScopeGuard([&] { unmount(disk); });
    m_platform->spreadsheetFolder = disk + QStringLiteral("/cache");
    QVERIFY(QDir().mkpath(m_platform->spreadsheetFolder));
    const qulonglong freeBefore = freeBlocks(disk);
    QVERIFY(freeBefore > 0);

    NumberListModel *model = m_form->ListView2->listModel();
    model->beginBatch();
    for (int i = 0; i < entries; ++i)
        model->append(QLatin1StringView("1-888-342-9122"));
    model->endBatch();

    // Each failed try must let go of all it took, not only the last one.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        m_platform->messages.clear();
        m_form->PushButton13_Click();

        QCOMPARE(m_platform->messages.size(), 1);
        const QString report = m_platform->messages.first().text;
        QVERIFY2(report.contains(QStringLiteral("No space left on device")), qPrintable(report));
        QVERIFY(m_platform->shellCalls.isEmpty());
        QCOMPARE(workbooks(), QStringList());
        const QStringList held = descriptorsUnder(disk);
        QVERIFY2(held.isEmpty(), qPrintable(held.join(QStringLiteral(", "))));
        QCOMPARE(freeBlocks(disk), freeBefore);
        QCOMPARE(m_form->MousePointer(), 0);
    }

    // With room again the same command succeeds.
    m_form->ListView2->ListItems.Clear();
    m_form->ListView2->ListItems.Add(QStringLiteral("888-342-9122"));
    m_platform->messages.clear();
    m_form->PushButton13_Click();
    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    QCOMPARE(descriptorsUnder(disk), QStringList());
    READ_OR_SKIP(sheet, m_platform->shellCalls.first().arguments.last());
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("888-342-9122"));
}

void TestSpreadsheet::workbookThatCannotBePackedLetsGoOfItsFiles()
{
    // The workbook's folder is full while its temporary files have room, so
    // the library gives up while packing, with its zip stream and the sheet's
    // temporary file still open.
    const QString disk = m_dir->filePath(QStringLiteral("disk"));
    const QString temp = m_dir->filePath(QStringLiteral("temp"));
    QVERIFY(QDir().mkpath(disk) && QDir().mkpath(temp));
    if (const QString problem = mountTmpfs(disk, QStringLiteral("64k")); !problem.isEmpty())
        QSKIP(qPrintable(problem));
    const auto unmountAtEnd = qScopeGuard([&] { unmount(disk); });
    const qulonglong freeBefore = freeBlocks(disk);
    const QString path = disk + QStringLiteral("/book.xlsx");

    QString failure;
    {
        XlsxWorkbook book(path, temp);
        QRandomGenerator random(15);
        // Texts that do not pack: the packed sheet outgrows the folder.
        for (std::uint32_t row = 0; row < 20000; ++row) {
            const QByteArray text = QByteArray::number(random.generate64(), 16).rightJustified(16, '0')
                + QByteArray::number(random.generate64(), 16);
            book.writeText(row, 0, text.toStdString());
        }
        try {
            book.close();
        } catch (const Failure &error) {
            failure = error.description();
        }
        // Already let go of, while the workbook object still lives.
        const QStringList held = descriptorsUnder(disk) + descriptorsUnder(temp);
        QVERIFY2(held.isEmpty(), qPrintable(held.join(QStringLiteral(", "))));
    }
    QVERIFY2(failure.startsWith(QStringLiteral("Cannot write the workbook ")), qPrintable(failure));
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(freeBlocks(disk), freeBefore);
}

void TestSpreadsheet::namedProgramThatCannotStartIsReported_data()
{
    QTest::addColumn<QString>("program"); // <dir> is a temporary folder
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such file") << QStringLiteral("<dir>/gone/calc")
                                  << QStringLiteral("there is no such file");
    QTest::newRow("not executable") << QStringLiteral("<dir>/plain.txt")
                                    << QStringLiteral("it is not executable");
    QTest::newRow("a folder") << QStringLiteral("<dir>") << QStringLiteral("it is a folder");
    // Only the starter knows why a name in PATH did not start.
    QTest::newRow("a name") << QStringLiteral("no-such-calc") << QStringLiteral("File not found");
}

void TestSpreadsheet::namedProgramThatCannotStartIsReported()
{
    QFETCH(QString, program);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        QFile plain(dir.filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("#!/bin/sh\n");
    }
    program.replace(QStringLiteral("<dir>"), dir.path());
    m_platform->spreadsheetProgram = {program, {}};
    m_platform->shellFails = true;
    m_form->ListView2->ListItems.Add(QStringLiteral("888-342-9122"));

    m_form->PushButton13_Click();

    QCOMPARE(m_platform->shellCalls.size(), 1);
    QCOMPARE(m_platform->shellCalls.first().program, program);
    const QString book = m_platform->shellCalls.first().arguments.last();
    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.first().text;
    QVERIFY2(text.startsWith(
                 QStringLiteral("Cannot start the spreadsheet program %1: %2. The workbook is kept as %3\r\n")
                     .arg(QDir::toNativeSeparators(program), reason, QDir::toNativeSeparators(book))),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("PushButton13_Click at line 172")));
    READ_OR_SKIP(sheet, book);
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("888-342-9122"));
}

void TestSpreadsheet::namedProgramIsNeverReplacedByAnother_data()
{
    QTest::addColumn<QString>("chosen");   // QUILLORY_SPREADSHEET; <dir> is the PATH folder
    QTest::addColumn<QString>("expected"); // the program the export tries
    QTest::newRow("no such file") << QStringLiteral("<dir>/gone") << QStringLiteral("<dir>/gone");
    QTest::newRow("not executable") << QStringLiteral("<dir>/plain.txt") << QStringLiteral("<dir>/plain.txt");
    QTest::newRow("a folder") << QStringLiteral("<dir>/sub") << QStringLiteral("<dir>/sub");
    QTest::newRow("a name not in PATH") << QStringLiteral("no-such-calc") << QStringLiteral("no-such-calc");
}

void TestSpreadsheet::namedProgramIsNeverReplacedByAnother()
{
    // The real discovery and hand-over, with LibreOffice's names in PATH.
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name :
         {QStringLiteral("soffice"), QStringLiteral("libreoffice"), QStringLiteral("xdg-open")}) {
        QFile script(dir.filePath(name));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"); // what discovery could fall back to
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    {
        QFile plain(dir.filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("#!/bin/sh\n");
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    chosen.replace(QStringLiteral("<dir>"), dir.path());
    expected.replace(QStringLiteral("<dir>"), dir.path());

    const QByteArray oldPath = qgetenv("PATH");
    const QByteArray oldProgram = qgetenv("QUILLORY_SPREADSHEET");
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("PATH", QFile::encodeName(dir.path()));
    qputenv("QUILLORY_SPREADSHEET", QFile::encodeName(chosen));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const auto restore = qScopeGuard([&] {
        qputenv("PATH", oldPath);
        qputenv("QUILLORY_SPREADSHEET", oldProgram);
        qputenv("XDG_CACHE_HOME", oldCache);
    });

    QtPlatform platform;
    QCOMPARE(platform.FindSpreadsheetProgram().program, expected);

    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->reject();
        }
    });
    closer.start(50);
    Form1 w(platform);
    w.ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
    w.ListView2->ListItems.Add(QStringLiteral("888-342-9122"));

    w.PushButton13_Click();

    QCOMPARE(boxes.size(), 1);
    const QString text = boxes.first();
    const QString lead =
        QStringLiteral("Cannot start the spreadsheet program %1: ").arg(QDir::toNativeSeparators(expected));
    QVERIFY2(text.startsWith(lead), qPrintable(text));
    // The message names the workbook, and it is there.
    static const QRegularExpression kept(QStringLiteral("The workbook is kept as (\\S+\\.xlsx)"));
    const QRegularExpressionMatch match = kept.match(text);
    QVERIFY2(match.hasMatch(), qPrintable(text));
    READ_OR_SKIP(sheet, match.captured(1));
    QCOMPARE(sheet.value(QStringLiteral("A2")), QStringLiteral("888-342-9122"));
}

QTEST_MAIN(TestSpreadsheet)
#include "tst_spreadsheet.moc"
