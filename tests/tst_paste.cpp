#include "app/form1.h"
#include "input/textimport.h"
#include "platform/errorreport.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "platform/qtplatform.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

namespace {

const QString kPasteProcedure = Procedure::ListView1_Paste;
const QString kLoadProcedure = Procedure::PushButton3_Click;

// Drags the data over `target` at its centre and drops it there, as the
// desktop does; answers whether the drop was taken. Work the drop starts
// later has run when it returns.
bool dragAndDrop(QWidget *target, const QMimeData &data)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    move.setAccepted(false);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

// Opens the list's context menu and picks the action with this text; false
// when the menu has no such enabled action.
bool pickFromContextMenu(ListView *list, const QString &text)
{
    bool found = false;
    QTimer::singleShot(0, list, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (action->text() == text && action->isEnabled()) {
                found = true;
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
    const QPoint at = list->viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    return found;
}

QString writeText(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    if (!writeFile(path, bytes))
        qFatal("cannot write test file");
    return path;
}

} // namespace

class TestPaste : public QObject, private FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pastesOneEntryPerLine_data();
    void pastesOneEntryPerLine();
    void pasteKeysWorkFromAnywhereInTheWindow_data();
    void pasteKeysWorkFromAnywhereInTheWindow();
    void contextMenuFromTheKeyboard_data();
    void contextMenuFromTheKeyboard();
    void pasteFromContextMenu();
    void emptyClipboardAddsNothing();
    void pasteTellsTheViewOnceAndIgnoresBusy();
    void outOfMemoryIsReportedAndKeepsWholeEntries();

    void dropsLoadFilesInOrder_data();
    void dropsLoadFilesInOrder();
    void droppedTextIsPasted();
    void dropsAcceptedOnlyWhereTheyLoad_data();
    void dropsAcceptedOnlyWhereTheyLoad();

    void copiesTheSelectedEntry_data();
    void copiesTheSelectedEntry();
    void copyThroughTheRealClipboard();
};

void TestPaste::init()
{
    createForm();
}

void TestPaste::cleanup()
{
    closeForm();
    QGuiApplication::clipboard()->clear();
}

void TestPaste::pastesOneEntryPerLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("spreadsheet column, LF after each")
        << QStringLiteral("888-342-9122\n1-888-342-9122\n342-9122\n")
        << QStringList{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122"),
                       QStringLiteral("342-9122")};
    QTest::newRow("CR LF, no line end at the end")
        << QStringLiteral("1\r\n2") << QStringList{QStringLiteral("1"), QStringLiteral("2")};
    QTest::newRow("CR alone") << QStringLiteral("1\r2\r")
                              << QStringList{QStringLiteral("1"), QStringLiteral("2")};
    QTest::newRow("blank lines are entries")
        << QStringLiteral("1\n\n\r\n2\n")
        << QStringList{QStringLiteral("1"), QString(), QString(), QStringLiteral("2")};
    QTest::newRow("LF CR is two line ends")
        << QStringLiteral("1\n\r2") << QStringList{QStringLiteral("1"), QString(), QStringLiteral("2")};
    QTest::newRow("nothing trimmed or split") << QStringLiteral(" 555-0100, 555-0101 \t\n")
                                              << QStringList{QStringLiteral(" 555-0100, 555-0101 \t")};
    QTest::newRow("a single line end") << QStringLiteral("\n") << QStringList{QString()};
    QTest::newRow("characters outside Latin-1")
        << QStringLiteral("\u20ac555\n\u4e2d\U0001F600")
        << QStringList{QStringLiteral("\u20ac555"), QStringLiteral("\u4e2d\U0001F600")};
}

void TestPaste::pastesOneEntryPerLine()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    // The real clipboard through the real platform layer.
    QtPlatform platform;
    Form1 window(platform);
    window.ListView1->ListItems.Add(QStringLiteral("kept"));
    QGuiApplication::clipboard()->setText(text);
    window.ListView1_Paste();
    QCOMPARE(entries(window.ListView1), QStringList{QStringLiteral("kept")} + expected);
}

void TestPaste::pasteKeysWorkFromAnywhereInTheWindow_data()
{
    QTest::addColumn<QString>("clicked"); // the control clicked before the keys
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("pastes");

    // The result lists take no numbers: the keys still mean the input list.
    for (const char *control :
         {"ListView1", "ListView2", "ListView3", "PushButton1", "PushButton17", "PushButton4", "Check1"}) {
        QTest::addRow("Ctrl+V after %s", control)
            << QString::fromLatin1(control) << int(Qt::Key_V) << int(Qt::ControlModifier) << true;
        QTest::addRow("Shift+Insert after %s", control)
            << QString::fromLatin1(control) << int(Qt::Key_Insert) << int(Qt::ShiftModifier) << true;
    }
    QTest::newRow("V alone after PushButton1")
        << QStringLiteral("PushButton1") << int(Qt::Key_V) << int(Qt::NoModifier) << false;
    QTest::newRow("Insert alone on ListView1")
        << QStringLiteral("ListView1") << int(Qt::Key_Insert) << int(Qt::NoModifier) << false;
    QTest::newRow("Ctrl+Insert after PushButton17")
        << QStringLiteral("PushButton17") << int(Qt::Key_Insert) << int(Qt::ControlModifier) << false;
}

void TestPaste::pasteKeysWorkFromAnywhereInTheWindow()
{
    QFETCH(QString, clicked);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, pastes);
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QWidget *control = m_form->findChild<QWidget *>(clicked);
    QVERIFY(control);
    if (auto *list = qobject_cast<ListView *>(control))
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    else
        QTest::mouseClick(control, Qt::LeftButton);
    QTRY_VERIFY(control->hasFocus());

    m_platform->clipboard = QStringLiteral("555-0100\n");
    m_platform->clipboardHasText = true;
    // Through the window, as the desktop delivers a key.
    QTest::keyClick(m_form->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(entries(m_form->ListView1), pastes ? QStringList{QStringLiteral("555-0100")} : QStringList{});
    QCOMPARE(m_form->ListView2->ListItems.Count() + m_form->ListView3->ListItems.Count(), 0);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPaste::contextMenuFromTheKeyboard_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<bool>("menuKey"); // else Shift+F10
    QTest::addColumn<QStringList>("items");

    const QStringList withPaste{QStringLiteral("Copy"), QStringLiteral("Paste")};
    const QStringList copyOnly{QStringLiteral("Copy")};
    for (int list = 1; list <= 3; ++list) {
        QTest::addRow("Shift+F10, list %d", list) << list << false << (list == 1 ? withPaste : copyOnly);
        QTest::addRow("Menu key, list %d", list) << list << true << (list == 1 ? withPaste : copyOnly);
    }
}

void TestPaste::contextMenuFromTheKeyboard()
{
    QFETCH(int, list);
    QFETCH(bool, menuKey);
    QFETCH(QStringList, items);
    ListView *views[] = {m_form->ListView1, m_form->ListView2, m_form->ListView3};
    ListView *view = views[list - 1];
    view->ColumnHeaders.Add(QStringLiteral("Numbers"));
    fill(view, {QStringLiteral("555-0100"), QStringLiteral("555-0101")});
    view->SetSelectedIndex(2);
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    view->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(view->hasFocus());
    m_platform->clipboard = QStringLiteral("before");
    m_platform->clipboardHasText = true;

    QStringList shown;
    // The keys go through the event loop one by one: wait for the menu.
    QTimer waiter;
    waiter.setInterval(10);
    QObject::connect(&waiter, &QTimer::timeout, view, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        waiter.stop();
        for (QAction *action : menu->actions()) {
            if (!action->isEnabled())
                continue;
            shown.append(action->text());
            if (action->text() == QLatin1String("Copy"))
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    waiter.start();
    if (menuKey) {
        // What the X11 platform sends the window for the Menu key.
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), m_form->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(m_form->windowHandle(), &event);
    } else {
        QTest::keyClick(m_form->windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
    }
    QCOMPARE(shown, items);
    QCOMPARE(m_platform->clipboard, QStringLiteral("555-0101")); // "Copy" was chosen
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPaste::pasteFromContextMenu()
{
    m_form->show();
    m_platform->clipboard = QStringLiteral("1\n2\n");
    m_platform->clipboardHasText = true;
    QVERIFY(!pickFromContextMenu(m_form->ListView2, QStringLiteral("Paste")));
    QVERIFY(pickFromContextMenu(m_form->ListView1, QStringLiteral("Paste")));
    QCOMPARE(entries(m_form->ListView1), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(m_form->ListView2->ListItems.Count(), 0);
}

void TestPaste::emptyClipboardAddsNothing()
{
    QSignalSpy inserted(m_form->ListView1->listModel(), &QAbstractItemModel::rowsInserted);
    m_platform->clipboardHasText = false;
    m_form->ListView1_Paste();
    m_platform->clipboard = QString();
    m_platform->clipboardHasText = true;
    m_form->ListView1_Paste();
    QCOMPARE(m_form->ListView1->ListItems.Count(), 0);
    QCOMPARE(inserted.size(), 0);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPaste::pasteTellsTheViewOnceAndIgnoresBusy()
{
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QString::number(5550000 + i) + QLatin1Char('\n');
    m_form->ListView1->ListItems.Add(QStringLiteral("first"));
    const NumberListSnapshot before = m_form->ListView1->listModel()->snapshot();
    QSignalSpy inserted(m_form->ListView1->listModel(), &QAbstractItemModel::rowsInserted);
    m_form->SetMousePointer(Pointer::Hourglass); // a command is running and yields
    m_platform->clipboard = text;
    m_platform->clipboardHasText = true;
    m_form->ListView1_Paste();

    QCOMPARE(m_form->ListView1->ListItems.Count(), 5001);
    QCOMPARE(m_form->ListView1->ListItems.Item(5001).Text(), QStringLiteral("5554999"));
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0].at(1).toInt(), 1);
    QCOMPARE(inserted[0].at(2).toInt(), 5000);
    // What a running export reads stays as it was.
    QCOMPARE(before.count(), 1);
    QCOMPARE(before.text(0).toString(), QStringLiteral("first"));
    QCOMPARE(m_form->MousePointer(), Pointer::Hourglass);
}

void TestPaste::outOfMemoryIsReportedAndKeepsWholeEntries()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("a limit on address space does not work with the address sanitizer");
#endif
    // Ten lines of 8 Mi characters, appended under a limit that leaves room
    // for a few of them.
    const qsizetype lineChars = qsizetype(8) << 20;
    const int lines = 10;
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QString(lineChars, QLatin1Char(char('0' + i))) + QLatin1Char('\n');
    m_platform->clipboard = text;
    m_platform->clipboardHasText = true;
    m_form->ListView1->ListItems.Add(QStringLiteral("before"));

    rlimit original;
    QCOMPARE(::getrlimit(RLIMIT_AS, &original), 0);
    QFile status(QStringLiteral("/proc/self/status"));
    QVERIFY(status.open(QIODevice::ReadOnly));
    rlim_t used = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            used = rlim_t(line.mid(7).trimmed().split(' ').value(0).toULongLong()) * 1024;
    }
    QVERIFY(used > 0);
    rlimit limited = original;
    limited.rlim_cur = used + (rlim_t(60) << 20);
    if (original.rlim_max != RLIM_INFINITY && limited.rlim_cur > original.rlim_max)
        QSKIP("address space limit too low already");
    QCOMPARE(::setrlimit(RLIMIT_AS, &limited), 0);
    m_form->ListView1_Paste();
    QCOMPARE(::setrlimit(RLIMIT_AS, &original), 0);

    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].text,
             ErrorReportText(QStringLiteral("Out of memory"), kPasteProcedure, 104));
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("Application Error"));
    const qsizetype kept = m_form->ListView1->ListItems.Count();
    QVERIFY2(kept > 1 && kept < 1 + lines, qPrintable(QString::number(kept)));
    QCOMPARE(m_form->ListView1->listModel()->rowCount(), int(kept)); // shown
    for (qsizetype i = 2; i <= kept; ++i)
        QCOMPARE(m_form->ListView1->ListItems.Item(i).Text(), text.mid((i - 2) * (lineChars + 1), lineChars));
}

void TestPaste::dropsLoadFilesInOrder_data()
{
    QTest::addColumn<QStringList>("names"); // "" is a folder, "http:" a web address
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("messages");

    const QString notFound = QStringLiteral("File not found");
    QTest::newRow("one file") << QStringList{QStringLiteral("a.txt")}
                              << QStringList{QStringLiteral("a1"), QStringLiteral("a2")} << QStringList{};
    QTest::newRow("several files, in drop order")
        << QStringList{QStringLiteral("b.txt"), QStringLiteral("a.txt")}
        << QStringList{QStringLiteral("b1"), QStringLiteral("a1"), QStringLiteral("a2")} << QStringList{};
    QTest::newRow("missing file between others")
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("gone.txt"), QStringLiteral("b.txt")}
        << QStringList{QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("b1")}
        << QStringList{notFound};
    QTest::newRow("one missing file")
        << QStringList{QStringLiteral("gone.txt")} << QStringList{} << QStringList{notFound};
    QTest::newRow("a folder alone") << QStringList{QString()} << QStringList{}
                                    << QStringList{QStringLiteral("folder@120")};
    QTest::newRow("a folder among files") << QStringList{QStringLiteral("a.txt"), QString()}
                                          << QStringList{QStringLiteral("a1"), QStringLiteral("a2")}
                                          << QStringList{QStringLiteral("folder@134")};
    QTest::newRow("web address") << QStringList{QStringLiteral("http:")} << QStringList{}
                                 << QStringList{QStringLiteral("refused")};
    QTest::newRow("web address among files loads nothing")
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("http:"), QStringLiteral("b.txt")}
        << QStringList{} << QStringList{QStringLiteral("refused")};
}

void TestPaste::dropsLoadFilesInOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    writeText(dir, QStringLiteral("a.txt"), "a1\r\na2\r\n");
    writeText(dir, QStringLiteral("b.txt"), "b1");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString folder = QDir::toNativeSeparators(dir.filePath(QStringLiteral("folder")));
    QList<QUrl> urls;
    for (const QString &name : names) {
        if (name.isEmpty())
            urls.append(QUrl::fromLocalFile(dir.filePath(QStringLiteral("folder"))));
        else if (name == QLatin1String("http:"))
            urls.append(QUrl(QStringLiteral("https://example.com/numbers.txt")));
        else
            urls.append(QUrl::fromLocalFile(dir.filePath(name)));
    }
    QMimeData data;
    data.setUrls(urls);
    data.setText(QStringLiteral("not used when there are addresses"));

    m_form->show();
    QList<bool> busy;
    m_platform->onMsgBox = [&](const FakePlatform::Message &) { busy.append(m_form->IsBusy()); };
    QVERIFY(dragAndDrop(m_form->ListView1->viewport(), data));

    QCOMPARE(entries(m_form->ListView1), expected);
    QCOMPARE(m_platform->messages.size(), messages.size());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const FakePlatform::Message &shown = m_platform->messages.at(i);
        if (messages[i].startsWith(QLatin1String("folder@"))) {
            const int step = messages[i].mid(7).toInt();
            QCOMPARE(shown.text,
                     ErrorReportText(QStringLiteral("Is a directory: ") + folder, kLoadProcedure, step));
            QVERIFY(busy.at(i));
        } else if (messages[i] == QLatin1String("refused")) {
            QVERIFY2(shown.text.contains(QLatin1String("on this computer")), qPrintable(shown.text));
            QVERIFY(!busy.at(i));
        } else {
            QCOMPARE(shown.text, messages[i]);
            QCOMPARE(shown.style, 0);
            QVERIFY(busy.at(i)); // shown with the busy pointer, as from the button
        }
    }
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
}

void TestPaste::droppedTextIsPasted()
{
    QMimeData data;
    data.setText(QStringLiteral("555-0100\r\n 555-0101\r\n"));
    m_form->show();
    QVERIFY(dragAndDrop(m_form.get(), data));
    QCOMPARE(entries(m_form->ListView1),
             (QStringList{QStringLiteral("555-0100"), QStringLiteral(" 555-0101")}));
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPaste::dropsAcceptedOnlyWhereTheyLoad_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("withText");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("input list") << QStringLiteral("ListView1") << true << true;
    QTest::newRow("a button of the window") << QStringLiteral("PushButton17") << true << true;
    QTest::newRow("the window") << QStringLiteral("Form1") << true << true;
    QTest::newRow("valid list") << QStringLiteral("ListView2") << true << false;
    QTest::newRow("invalid list") << QStringLiteral("ListView3") << true << false;
    QTest::newRow("neither text nor files") << QStringLiteral("ListView1") << false << false;
}

void TestPaste::dropsAcceptedOnlyWhereTheyLoad()
{
    QFETCH(QString, target);
    QFETCH(bool, withText);
    QFETCH(bool, accepted);
    QMimeData data;
    if (withText)
        data.setText(QStringLiteral("555-0100"));
    else
        data.setData(QStringLiteral("image/png"), QByteArray("\x89PNG"));
    m_form->show();
    QWidget *widget = target == QLatin1String("Form1") ? m_form.get() : m_form->findChild<QWidget *>(target);
    QVERIFY(widget);
    if (auto *list = qobject_cast<ListView *>(widget))
        widget = list->viewport();
    QCOMPARE(dragAndDrop(widget, data), accepted);
    QCOMPARE(m_form->ListView1->ListItems.Count(), accepted ? 1 : 0);
    QCOMPARE(m_form->ListView2->ListItems.Count() + m_form->ListView3->ListItems.Count(), 0);
}

void TestPaste::copiesTheSelectedEntry_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<bool>("byMenu");

    for (int list = 1; list <= 3; ++list) {
        QTest::addRow("Ctrl+C, list %d", list) << list << false;
        QTest::addRow("Copy in the menu, list %d", list) << list << true;
    }
}

void TestPaste::copiesTheSelectedEntry()
{
    QFETCH(int, list);
    QFETCH(bool, byMenu);
    ListView *views[] = {m_form->ListView1, m_form->ListView2, m_form->ListView3};
    ListView *view = views[list - 1];
    view->ColumnHeaders.Add(QStringLiteral("Numbers"));
    fill(view, {QStringLiteral("555-0100"), QStringLiteral(" 555-0101  ")});
    m_form->show();

    // Nothing selected: the clipboard keeps what it holds.
    m_platform->clipboard = QStringLiteral("before");
    m_platform->clipboardHasText = true;
    if (byMenu)
        QVERIFY(!pickFromContextMenu(view, QStringLiteral("Copy")));
    else
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_platform->clipboard, QStringLiteral("before"));

    view->SetSelectedIndex(2);
    if (byMenu)
        QVERIFY(pickFromContextMenu(view, QStringLiteral("Copy")));
    else
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_platform->clipboard, QStringLiteral(" 555-0101  ")); // as it is
    QCOMPARE(view->ListItems.Count(), 2);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPaste::copyThroughTheRealClipboard()
{
    QtPlatform platform;
    Form1 window(platform);
    window.ListView3->ColumnHeaders.Add(QStringLiteral("Invalid Numbers"));
    fill(window.ListView3, {QStringLiteral("1-888-342-912")});
    window.ListView3->SetSelectedIndex(1);
    QTest::keyClick(window.ListView3, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1-888-342-912"));
    // And back into the input list.
    window.ListView1_Paste();
    QCOMPARE(entries(window.ListView1), QStringList{QStringLiteral("1-888-342-912")});
}

QTEST_MAIN(TestPaste)
#include "tst_paste.moc"
