// The input commands' list edits on their own: a list, the fake platform and
// a guarded procedure, no window. Linked without the window's library.

#include "app/list/listview.h"
#include "app/list/numberlistmodel.h"
#include "input/inputedits.h"
#include "platform/clipboardretry.h"
#include "platform/errorreport.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"

#include "listsupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList messageTexts(const FakePlatform &platform)
{
    QStringList out;
    for (const FakePlatform::Message &m : platform.messages)
        out.append(m.text);
    return out;
}

} // namespace

class TestInputEdits : public QObject
{
    Q_OBJECT

private slots:
    void addsEachTypedPieceTrimmed_data();
    void addsEachTypedPieceTrimmed();
    void addsTheSamplesAfterWhatIsThere();
    void clearsOnlyWhenNotBusy_data();
    void clearsOnlyWhenNotBusy();
    void loadsTheChosenFiles_data();
    void loadsTheChosenFiles();
    void reportsAFileThatCannotBeReadAndGoesOn();
    void pastesOneEntryPerLine_data();
    void pastesOneEntryPerLine();
    void copiesTheSelectedEntry_data();
    void copiesTheSelectedEntry();
};

void TestInputEdits::addsEachTypedPieceTrimmed_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("cancelled") << QString() << QStringList();
    QTest::newRow("one number") << QStringLiteral("888-342-9122")
                                << QStringList{QStringLiteral("888-342-9122")};
    QTest::newRow("spaces around pieces")
        << QStringLiteral("  342-9122 ,1-888-342-9122  ")
        << QStringList{QStringLiteral("342-9122"), QStringLiteral("1-888-342-9122")};
    QTest::newRow("empty pieces kept") << QStringLiteral("a,,b,") << QStringList{"a", "", "b", ""};
    QTest::newRow("only spaces") << QStringLiteral("   ") << QStringList{""};
    QTest::newRow("tab is part of the entry")
        << QStringLiteral("\t1 , 2\t") << QStringList{QStringLiteral("\t1"), QStringLiteral("2\t")};
}

void TestInputEdits::addsEachTypedPieceTrimmed()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, expected);
    FakePlatform platform;
    platform.inputAnswers.enqueue(answer);
    NumberListModel list;
    list.append(u"already there");
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    Guarded proc(platform, Procedure::PushButton6_Click);

    Input::addTypedNumbers(platform, proc, list);

    QCOMPARE(entries(list), QStringList{QStringLiteral("already there")} + expected);
    QCOMPARE(inserted.count(), expected.isEmpty() ? 0 : 1);
    QCOMPARE(platform.prompts, QStringList{QStringLiteral("Enter phone number or numbers (use commas):|")});
    QCOMPARE(messageTexts(platform), QStringList());
}

void TestInputEdits::addsTheSamplesAfterWhatIsThere()
{
    FakePlatform platform;
    NumberListModel list;
    list.append(u"x");
    Guarded proc(platform, Procedure::PushButton12_Click);
    Input::addSampleNumbers(proc, list);
    Input::addSampleNumbers(proc, list);
    const QStringList samples{"888-342-9122", "1-888-342-9122", "342-9122"};
    QCOMPARE(entries(list), QStringList{"x"} + samples + samples);
    QCOMPARE(messageTexts(platform), QStringList());
}

void TestInputEdits::clearsOnlyWhenNotBusy_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("idle") << false << QStringList();
    QTest::newRow("busy") << true << QStringList{"1", "2"};
}

void TestInputEdits::clearsOnlyWhenNotBusy()
{
    QFETCH(bool, busy);
    QFETCH(QStringList, expected);
    FakePlatform platform;
    NumberListModel list;
    list.append(u"1");
    list.append(u"2");
    Guarded proc(platform, Procedure::PushButton1_Click);
    Input::clearInputList(proc, list, busy);
    QCOMPARE(entries(list), expected);
}

void TestInputEdits::loadsTheChosenFiles_data()
{
    // The answer as the open dialog gives it, with "<dir>" for the folder.
    QTest::addColumn<QStringList>("answer");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("one full path") << QStringList{"<dir>/a.txt"} << QStringList{"a1", "a2"} << QStringList();
    QTest::newRow("folder and names, in the answer's order")
        << QStringList{"<dir>", "b.txt", "a.txt"} << QStringList{"b1", "a1", "a2"} << QStringList();
    QTest::newRow("folder ending in a separator")
        << QStringList{"<dir>/", "a.txt"} << QStringList{"a1", "a2"} << QStringList();
    QTest::newRow("a missing file among them")
        << QStringList{"<dir>", "gone.txt", "b.txt"} << QStringList{"b1"} << QStringList{"File not found"};
    QTest::newRow("a missing single file")
        << QStringList{"<dir>/gone.txt"} << QStringList() << QStringList{"File not found"};
}

void TestInputEdits::loadsTheChosenFiles()
{
    QFETCH(QStringList, answer);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath(QStringLiteral("a.txt")), "a1\r\na2\r\n"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("b.txt")), "b1"));
    for (QString &piece : answer)
        piece.replace(QStringLiteral("<dir>"), dir.path()).replace(u'/', QDir::separator());
    FakePlatform platform;
    NumberListModel list;
    Guarded proc(platform, Procedure::PushButton3_Click);

    Input::loadChosenTextFiles(platform, proc, list, answer);

    QCOMPARE(entries(list), expected);
    QCOMPARE(messageTexts(platform), messages);
}

void TestInputEdits::reportsAFileThatCannotBeReadAndGoesOn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("b.txt")), "b1\nb2"));
    const QString folder = QDir::toNativeSeparators(dir.filePath(QStringLiteral("folder")));
    const QString file = QDir::toNativeSeparators(dir.filePath(QStringLiteral("b.txt")));
    FakePlatform platform;
    NumberListModel list;
    Guarded proc(platform, Procedure::PushButton3_Click);

    Input::loadTextFiles(platform, proc, list, {folder, file});

    QCOMPARE(entries(list), (QStringList{"b1", "b2"}));
    QCOMPARE(messageTexts(platform),
             QStringList{ErrorReportText(QStringLiteral("Is a directory: ") + folder,
                                         Procedure::PushButton3_Click, 134)});
}

void TestInputEdits::pastesOneEntryPerLine_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("no text") << QString() << false << QStringList();
    QTest::newRow("empty text") << QString() << true << QStringList();
    QTest::newRow("CR LF lines, last one ended")
        << QStringLiteral("1\r\n2\r\n") << true << QStringList{"1", "2"};
    QTest::newRow("mixed line ends") << QStringLiteral("1\r2\n3\r\n\r\n4") << true
                                     << QStringList{"1", "2", "3", "", "4"};
    QTest::newRow("commas and spaces untouched") << QStringLiteral(" 1, 2 ") << true << QStringList{" 1, 2 "};
}

void TestInputEdits::pastesOneEntryPerLine()
{
    QFETCH(QString, clipboard);
    QFETCH(bool, hasText);
    QFETCH(QStringList, expected);
    FakePlatform platform;
    platform.clipboard = clipboard;
    platform.clipboardHasText = hasText;
    NumberListModel list;
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    Guarded proc(platform, Procedure::ListView1_Paste);

    Input::pasteClipboardText(platform, proc, list);

    QCOMPARE(entries(list), expected);
    QCOMPARE(inserted.count(), expected.isEmpty() ? 0 : 1);
    QCOMPARE(messageTexts(platform), QStringList());
}

void TestInputEdits::copiesTheSelectedEntry_data()
{
    QTest::addColumn<qsizetype>("selected"); // from 1; 0 for none
    QTest::addColumn<int>("setFailures");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("messages");
    const QString busy = ErrorReportText(QStringLiteral("The clipboard is in use by another program"),
                                         Procedure::ListView2_Copy, 102);
    QTest::newRow("nothing selected") << qsizetype(0) << 0 << QStringLiteral("before") << QStringList();
    QTest::newRow("second entry") << qsizetype(2) << 0 << QStringLiteral("two") << QStringList();
    QTest::newRow("clipboard free on the last try")
        << qsizetype(1) << kClipboardAttempts - 1 << QStringLiteral("one") << QStringList();
    QTest::newRow("clipboard never free")
        << qsizetype(1) << kClipboardAttempts << QStringLiteral("before") << QStringList{busy};
}

void TestInputEdits::copiesTheSelectedEntry()
{
    QFETCH(qsizetype, selected);
    QFETCH(int, setFailures);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, messages);
    FakePlatform platform;
    platform.clipboard = QStringLiteral("before");
    platform.clipboardHasText = true;
    platform.clipboardSetFailures = setFailures;
    ListView view;
    view.ColumnHeaders.Add(QStringLiteral("Numbers")); // an entry is selectable in a column
    view.ListItems.Add(QStringLiteral("one"));
    view.ListItems.Add(QStringLiteral("two"));
    if (selected > 0)
        view.SetSelectedIndex(selected);
    Guarded proc(platform, Procedure::ListView2_Copy);

    Input::copySelectedEntry(platform, proc, view);

    QCOMPARE(platform.clipboard, clipboard);
    QCOMPARE(messageTexts(platform), messages);
}

QTEST_MAIN(TestInputEdits)
#include "tst_inputedits.moc"
