#include "app/form1.h"
#include "export/clipboard.h"
#include "platform/clipboardretry.h"
#include "platform/fakeplatform.h"
#include "platform/qtplatform.h"
#include "testsupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

namespace {

const QString kConfirmation = QStringLiteral("Results have been copied to the clipboard.\r\r"
                                             "Click a text area where you normally type and press Ctrl+V to "
                                             "paste the clipboard.");

} // namespace

class TestClipboard : public QObject, private FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buildsClipboardText_data();
    void buildsClipboardText();
    void copiesTheListOfEachButton_data();
    void copiesTheListOfEachButton();
    void emptyListLeavesClipboardUnchanged();
    void retriesClipboardOperations_data();
    void retriesClipboardOperations();
    void setClipboardTextTellsWhetherTheTextArrived_data();
    void setClipboardTextTellsWhetherTheTextArrived();
    void clearingTheListDuringCopyDoesNotChangeTheText();
    void closingDuringCopyLeavesClipboardUntouched();
    void pastedTextIsTheListAsCopied();
};

void TestClipboard::init()
{
    createForm();
}

void TestClipboard::cleanup()
{
    closeForm();
}

void TestClipboard::buildsClipboardText_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QString>("expected");

    const QStringList one{QStringLiteral(" Valid Numbers")};
    const QStringList two{QStringLiteral("A title longer than any entry"), QStringLiteral("B")};
    QTest::newRow("one line per entry, CR LF after the last too")
        << one << QList<QStringList>{{QStringLiteral("888-342-9122")}, {QStringLiteral("1-888-342-9122")}}
        << QList<int>{} << QStringLiteral("888-342-9122\r\n1-888-342-9122\r\n");
    QTest::newRow("trailing spaces removed")
        << one << QList<QStringList>{{QStringLiteral("12  ")}, {QStringLiteral(" 3 ")}} << QList<int>{}
        << QStringLiteral("12\r\n 3\r\n");
    QTest::newRow("spaces only give an empty line")
        << one << QList<QStringList>{{QStringLiteral("   ")}, {QStringLiteral("5")}, {QString()}}
        << QList<int>{} << QStringLiteral("\r\n5\r\n\r\n");
    QTest::newRow("tab stops the removal of spaces") << one << QList<QStringList>{{QStringLiteral("12 \t  ")}}
                                                     << QList<int>{} << QStringLiteral("12 \t\r\n");
    QTest::newRow("title longer than every entry does not widen the column")
        << two
        << QList<QStringList>{{QStringLiteral("1"), QStringLiteral("x")},
                              {QStringLiteral("123"), QStringLiteral("y")}}
        << QList<int>{} << QStringLiteral("1  \tx\r\n123\ty\r\n");
    QTest::newRow("inner cells keep their padding, the last cell loses it")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}
        << QList<QStringList>{{QStringLiteral("1"), QStringLiteral("ab"), QStringLiteral("z")},
                              {QStringLiteral("1234"), QStringLiteral("a"), QStringLiteral("longest")}}
        << QList<int>{} << QStringLiteral("1   \tab\tz\r\n1234\ta \tlongest\r\n");
    QTest::newRow("empty last cell leaves the inner tab")
        << two
        << QList<QStringList>{{QStringLiteral("12"), QString()}, {QStringLiteral("1"), QStringLiteral("x")}}
        << QList<int>{} << QStringLiteral("12\t\r\n1 \tx\r\n");
    QTest::newRow("unchecked entry gives no line but counts for the width")
        << two
        << QList<QStringList>{{QStringLiteral("12345"), QStringLiteral("a")},
                              {QStringLiteral("1"), QStringLiteral("b")}}
        << QList<int>{0} << QStringLiteral("1    \tb\r\n");
    QTest::newRow("all entries unchecked give an empty text")
        << one << QList<QStringList>{{QStringLiteral("1")}, {QStringLiteral("2")}} << QList<int>{0, 1}
        << QString();
    QTest::newRow("characters beyond U+FFFF count once towards the width")
        << two
        << QList<QStringList>{{QString::fromUtf8("\U0001F600"), QStringLiteral("x")},
                              {QStringLiteral("12"), QStringLiteral("y")}}
        << QList<int>{} << QString::fromUtf8("\U0001F600 \tx\r\n12\ty\r\n");
    QTest::newRow("trailing spaces of a line before a shorter last line")
        << one << QList<QStringList>{{QStringLiteral("1") + QString(100, u' ')}, {QString()}} << QList<int>{}
        << QStringLiteral("1\r\n\r\n");
    QTest::newRow("trailing spaces after Latin-1 characters, then an empty line")
        << one
        << QList<QStringList>{{QString()},
                              {QString::fromUtf8(".\u00ff") + QChar(0) + QString::fromUtf8("\u00c6       ")},
                              {QString()}}
        << QList<int>{0} << QString::fromUtf8(".\u00ff") + QChar(0) + QString::fromUtf8("\u00c6\r\n\r\n");
    QTest::newRow("a U+FEFF starting the first entry is kept")
        << one << QList<QStringList>{{QString::fromUtf8("\ufeff888-342-9122")}} << QList<int>{}
        << QString::fromUtf8("\ufeff888-342-9122\r\n");
    QTest::newRow("characters beyond Latin-1 are kept")
        << one << QList<QStringList>{{QString::fromUtf8("\u20ac\u2713 \u65e5")}} << QList<int>{}
        << QString::fromUtf8("\u20ac\u2713 \u65e5\r\n");
}

void TestClipboard::buildsClipboardText()
{
    QFETCH(QStringList, titles);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, unchecked);
    QFETCH(QString, expected);

    NumberListModel model;
    fill(model, titles, rows, unchecked);
    QCOMPARE(ClipboardText(model.snapshot()), expected);
}

void TestClipboard::copiesTheListOfEachButton_data()
{
    QTest::addColumn<int>("button");

    QTest::newRow("valid list") << 10;
    QTest::newRow("invalid list") << 11;
}

void TestClipboard::copiesTheListOfEachButton()
{
    QFETCH(int, button);
    ListView *list = button == 10 ? m_form->ListView2 : m_form->ListView3;
    ListView *other = button == 10 ? m_form->ListView3 : m_form->ListView2;
    fill(*list->listModel(), {QStringLiteral("Numbers")},
         {{QStringLiteral("888-342-9122  ")}, {QStringLiteral("1-888-342-9122")}});
    fill(*other->listModel(), {QStringLiteral("Other")}, {{QStringLiteral("not this one")}});
    m_form->yielder().setIntervalMs(0);
    QList<int> pointerDuringCopy;
    m_platform->onProcessEvents = [&] { pointerDuringCopy.append(m_form->MousePointer()); };

    if (button == 10)
        m_form->PushButton10_Click();
    else
        m_form->PushButton11_Click();

    QCOMPARE(m_platform->clipboard, QStringLiteral("888-342-9122\r\n1-888-342-9122\r\n"));
    QCOMPARE(m_platform->clipboardClearAttempts, 1);
    QCOMPARE(m_platform->clipboardSetAttempts, 1);
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages.constFirst().text, kConfirmation);
    QCOMPARE(m_platform->messages.constFirst().style, MsgBoxStyle::OkOnly);
    QCOMPARE(m_platform->messages.constFirst().title, QString());
    QVERIFY(!pointerDuringCopy.isEmpty());
    QCOMPARE(pointerDuringCopy, QList<int>(pointerDuringCopy.size(), Pointer::Default)); // never busy
}

void TestClipboard::emptyListLeavesClipboardUnchanged()
{
    fill(*m_form->ListView2->listModel(), {QStringLiteral(" Valid Numbers")}, {});
    m_platform->clipboard = QStringLiteral("what the user copied before");
    m_platform->clipboardHasText = true;

    m_form->PushButton10_Click();

    QCOMPARE(m_platform->clipboard, QStringLiteral("what the user copied before"));
    QVERIFY(m_platform->clipboardHasText);
    QCOMPARE(m_platform->clipboardClearAttempts, 0);
    QCOMPARE(m_platform->clipboardSetAttempts, 0);
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages.constFirst().text, kConfirmation);
}

void TestClipboard::retriesClipboardOperations_data()
{
    QTest::addColumn<int>("clearFailures");
    QTest::addColumn<int>("setFailures");
    QTest::addColumn<int>("clearAttempts");
    QTest::addColumn<int>("setAttempts");
    QTest::addColumn<bool>("textArrives");

    QTest::newRow("no failure") << 0 << 0 << 1 << 1 << true;
    QTest::newRow("clear fails three times") << 3 << 0 << 4 << 1 << true;
    QTest::newRow("set fails 999 times") << 0 << 999 << 1 << 1000 << true;
    QTest::newRow("set fails 1000 times") << 0 << 1000 << 1 << 1000 << false;
    QTest::newRow("set fails more often than it is tried") << 0 << 5000 << 1 << 1000 << false;
    QTest::newRow("clear never succeeds, set still runs") << 1000 << 0 << 1000 << 1 << true;
}

void TestClipboard::retriesClipboardOperations()
{
    QFETCH(int, clearFailures);
    QFETCH(int, setFailures);
    QFETCH(int, clearAttempts);
    QFETCH(int, setAttempts);
    QFETCH(bool, textArrives);

    fill(*m_form->ListView3->listModel(), {QStringLiteral("Invalid Numbers")}, {{QStringLiteral("12-34")}});
    m_platform->clipboardClearFailures = clearFailures;
    m_platform->clipboardSetFailures = setFailures;

    m_form->PushButton11_Click();

    QCOMPARE(m_platform->clipboardClearAttempts, clearAttempts);
    QCOMPARE(m_platform->clipboardSetAttempts, setAttempts);
    QCOMPARE(m_platform->clipboardHasText, textArrives);
    if (textArrives)
        QCOMPARE(m_platform->clipboard, QStringLiteral("12-34\r\n"));
    // Failures are not reported; the confirmation shows either way.
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages.constFirst().text, kConfirmation);
}

void TestClipboard::setClipboardTextTellsWhetherTheTextArrived_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<bool>("result");

    QTest::newRow("first attempt") << 0 << true;
    QTest::newRow("last attempt") << 999 << true;
    QTest::newRow("never") << 1000 << false;
}

void TestClipboard::setClipboardTextTellsWhetherTheTextArrived()
{
    QFETCH(int, failures);
    QFETCH(bool, result);
    m_platform->clipboardSetFailures = failures;
    QCOMPARE(SetClipboardText(*m_platform, QStringLiteral("x"), 0), result);
}

void TestClipboard::clearingTheListDuringCopyDoesNotChangeTheText()
{
    NumberListModel &model = *m_form->ListView2->listModel();
    model.addColumn(QStringLiteral(" Valid Numbers"));
    QString expected;
    for (int i = 0; i < 5000; ++i) {
        const QString text = QStringLiteral("555-") + QString::number(i);
        model.append(QStringView(text));
        expected += text + QStringLiteral("\r\n");
    }
    m_form->yielder().setIntervalMs(0);
    int yields = 0;
    m_platform->onProcessEvents = [&] {
        // "Clear Results" and a removal while the copy yields.
        if (++yields == 2) {
            m_form->ListView2->ListItems.Clear();
            m_form->ListView2->ListItems.Add(QStringLiteral("added meanwhile"));
        }
    };

    m_form->PushButton10_Click();

    QVERIFY(yields > 2);
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages.constFirst().text, kConfirmation);
    QCOMPARE(m_platform->clipboard, expected);
}

void TestClipboard::closingDuringCopyLeavesClipboardUntouched()
{
    fill(*m_form->ListView2->listModel(), {QStringLiteral(" Valid Numbers")}, {{QStringLiteral("1")}});
    m_platform->clipboard = QStringLiteral("before");
    m_form->yielder().setIntervalMs(0);
    m_platform->onProcessEvents = [&] { m_form->Form_Unload(); };

    QVERIFY_THROWS_EXCEPTION(CommandAborted, m_form->PushButton10_Click());

    QCOMPARE(m_platform->clipboard, QStringLiteral("before"));
    QCOMPARE(m_platform->clipboardClearAttempts, 0);
    QCOMPARE(m_platform->messages.size(), 0);
}

void TestClipboard::pastedTextIsTheListAsCopied()
{
    // The real clipboard: the text is made when it is read, from the list as
    // it was when it was copied.
    QtPlatform platform;
    Form1 form(platform);
    fill(*form.ListView2->listModel(), {QStringLiteral("Numbers"), QStringLiteral("Note")},
         {{QStringLiteral("888-342-9122"), QStringLiteral("a")},
          {QString::fromUtf8("\U0001F600\u00e9"), QStringLiteral("b  ")},
          {QStringLiteral("1"), QString()}});
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    copyListToClipboard(platform, form.ListView2->listModel()->snapshot(), [&form] { form.DoEvents(); });
    form.ListView2->ListItems.Clear();
    form.ListView2->ListItems.Add(QStringLiteral("added after the copy"));

    const QString expected =
        QString::fromUtf8("888-342-9122\ta\r\n\U0001F600\u00e9          \tb\r\n1           \t\r\n");
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")), expected.toUtf8());
}

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
