#include "app/form1.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

namespace {

const QString kPrompt = QStringLiteral("Enter phone number or numbers (use commas):");

QString write(const char *key, int value)
{
    return QStringLiteral("Tarvenco/Quillory/%1=%2").arg(QLatin1StringView(key)).arg(value);
}

} // namespace

class TestInputList : public QObject, private FormFixture
{
    Q_OBJECT

private:
    QList<int> options() const
    {
        return {Form1::CheckValue(m_form->Check1), Form1::CheckValue(m_form->Check2),
                Form1::CheckValue(m_form->Check3)};
    }

private slots:
    void init()
    {
        loadForm();
        m_platform->messages.clear();
        m_platform->settingWrites.clear();
    }
    void cleanup() { closeForm(); }

    void emptyAnswerChangesNothing_data();
    void emptyAnswerChangesNothing();
    void splitsAtEveryCommaAndTrimsSpacesOnly_data();
    void splitsAtEveryCommaAndTrimsSpacesOnly();
    void appendsAfterExistingEntriesEvenWhileBusy();
    void sameNumberTwiceGivesTwoEntries();
    void takesMorePiecesThanASmallCounterHolds();
    void samplesAppendAndSetOptions();
    void samplesTwiceGiveSixEntries();
    void samplesStoreOnlyChangedOptions_data();
    void samplesStoreOnlyChangedOptions();
    void failingOptionStoreIsReportedUnderItsStep();
    void clearListEmptiesOnlyTheInputList();
    void clearListDoesNothingWhileBusy();
    void removesSelectedEntry_data();
    void removesSelectedEntry();
    void otherKeysRemoveNothing();
    void removalIdleWhenBusyEmptyOrUnselected_data();
    void removalIdleWhenBusyEmptyOrUnselected();
};

void TestInputList::emptyAnswerChangesNothing_data()
{
    QTest::addColumn<bool>("confirmEmpty");
    QTest::newRow("cancelled") << false;
    QTest::newRow("confirmed empty") << true;
}

void TestInputList::emptyAnswerChangesNothing()
{
    QFETCH(bool, confirmEmpty);
    fill(m_form->ListView1, {QStringLiteral("kept")});
    if (confirmEmpty)
        m_platform->inputAnswers.enqueue(QString());
    m_form->PushButton6->click();
    // Empty title: the prompt carries the application title.
    QCOMPARE(m_platform->prompts, QList<QString>{kPrompt + QLatin1Char('|')});
    QCOMPARE(entries(m_form->ListView1), QStringList{QStringLiteral("kept")});
    QVERIFY(m_platform->messages.isEmpty());
}

void TestInputList::splitsAtEveryCommaAndTrimsSpacesOnly_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("empty pieces kept, outer spaces trimmed")
        << QStringLiteral(" 888-342-9122 ,,342-9122,")
        << QStringList{QStringLiteral("888-342-9122"), QString(), QStringLiteral("342-9122"), QString()};
    QTest::newRow("spaces only") << QStringLiteral("    ") << QStringList{QString()};
    QTest::newRow("one comma") << QStringLiteral(",") << QStringList{QString(), QString()};
    QTest::newRow("leading tab kept")
        << QStringLiteral("\t888-342-9122") << QStringList{QStringLiteral("\t888-342-9122")};
    QTest::newRow("tab inside the trimmed spaces")
        << QStringLiteral("  x\t ") << QStringList{QStringLiteral("x\t")};
    QTest::newRow("inner spaces kept")
        << QStringLiteral(" 888  342 9122 ") << QStringList{QStringLiteral("888  342 9122")};
    QTest::newRow("no-break space kept")
        << QStringLiteral(u"\u00A0342-9122 ") << QStringList{QStringLiteral(u"\u00A0342-9122")};
    QTest::newRow("full-width comma does not split")
        << QStringLiteral(u"1\uFF0C2") << QStringList{QStringLiteral(u"1\uFF0C2")};
    QTest::newRow("no format check") << QStringLiteral("888-342-9122, (888) 342-9122,abc")
                                     << QStringList{QStringLiteral("888-342-9122"),
                                                    QStringLiteral("(888) 342-9122"), QStringLiteral("abc")};
    QTest::newRow("text beyond Latin-1")
        << QStringLiteral(u"\u4E2D\u6587, \u2713")
        << QStringList{QStringLiteral(u"\u4E2D\u6587"), QStringLiteral(u"\u2713")};
}

void TestInputList::splitsAtEveryCommaAndTrimsSpacesOnly()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, added);
    setOptions(*m_form, 1, 0, 1);
    m_platform->settingWrites.clear();
    m_platform->inputAnswers.enqueue(answer);
    m_form->PushButton6_Click();
    QCOMPARE(entries(m_form->ListView1), added);
    for (qsizetype i = 1; i <= m_form->ListView1->ListItems.Count(); ++i)
        QVERIFY(m_form->ListView1->ListItems.Item(i).Checked());
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(options(), (QList<int>{1, 0, 1}));
    QVERIFY(m_platform->settingWrites.isEmpty());
}

void TestInputList::appendsAfterExistingEntriesEvenWhileBusy()
{
    fill(m_form->ListView1, {QStringLiteral("first")});
    m_form->SetMousePointer(Pointer::Hourglass);
    m_platform->inputAnswers.enqueue(QStringLiteral("a,b"));
    m_form->PushButton6_Click();
    QCOMPARE(entries(m_form->ListView1),
             (QStringList{QStringLiteral("first"), QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(m_form->MousePointer(), Pointer::Hourglass);
}

void TestInputList::sameNumberTwiceGivesTwoEntries()
{
    m_platform->inputAnswers.enqueue(QStringLiteral("342-9122"));
    m_platform->inputAnswers.enqueue(QStringLiteral("342-9122"));
    m_form->PushButton6_Click();
    m_form->PushButton6_Click();
    QCOMPARE(entries(m_form->ListView1),
             (QStringList{QStringLiteral("342-9122"), QStringLiteral("342-9122")}));
}

void TestInputList::takesMorePiecesThanASmallCounterHolds()
{
    QStringList pieces;
    for (int i = 0; i < 40000; ++i)
        pieces.append(QString::number(i));
    m_platform->inputAnswers.enqueue(pieces.join(QLatin1Char(',')));
    m_form->PushButton6_Click();
    QCOMPARE(m_form->ListView1->ListItems.Count(), 40000);
    QCOMPARE(m_form->ListView1->ListItems.Item(32768).Text(), QStringLiteral("32767"));
    QCOMPARE(m_form->ListView1->ListItems.Item(40000).Text(), QStringLiteral("39999"));
    QCOMPARE(m_form->ListView1->listModel()->rowCount(), 40000); // the view heard of all of them
}

void TestInputList::samplesAppendAndSetOptions()
{
    fill(m_form->ListView1, {QStringLiteral("mine")});
    setOptions(*m_form, 0, 0, 1);
    m_form->PushButton12->click();
    QCOMPARE(entries(m_form->ListView1),
             (QStringList{QStringLiteral("mine"), QStringLiteral("888-342-9122"),
                          QStringLiteral("1-888-342-9122"), QStringLiteral("342-9122")}));
    QCOMPARE(options(), (QList<int>{1, 1, 0}));
    QVERIFY(m_platform->messages.isEmpty());
}

void TestInputList::samplesTwiceGiveSixEntries()
{
    m_form->PushButton12_Click();
    m_form->PushButton12_Click();
    const QStringList three{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122"),
                            QStringLiteral("342-9122")};
    QCOMPARE(entries(m_form->ListView1), three + three);
    QCOMPARE(options(), (QList<int>{1, 1, 0}));
}

void TestInputList::samplesStoreOnlyChangedOptions_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("already so") << QList<int>{1, 1, 0} << QStringList();
    QTest::newRow("all off") << QList<int>{0, 0, 0} << QStringList{write("Check1", 1), write("Check2", 1)};
    QTest::newRow("all opposite") << QList<int>{0, 0, 1}
                                  << QStringList{write("Check1", 1), write("Check2", 1), write("Check3", 0)};
    QTest::newRow("greyed") << QList<int>{2, 1, 2} << QStringList{write("Check1", 1), write("Check3", 0)};
}

void TestInputList::samplesStoreOnlyChangedOptions()
{
    QFETCH(QList<int>, before);
    QFETCH(QStringList, writes);
    setOptions(*m_form, before[0], before[1], before[2]);
    m_platform->settingWrites.clear();
    m_form->PushButton12_Click();
    QCOMPARE(QStringList(m_platform->settingWrites), writes);
    QCOMPARE(options(), (QList<int>{1, 1, 0}));
}

void TestInputList::failingOptionStoreIsReportedUnderItsStep()
{
    setOptions(*m_form, 0, 1, 1);
    m_platform->settingWriteFails = true;
    m_form->PushButton12_Click();
    const QString procedure = Procedure::PushButton12_Click;
    QCOMPARE(m_platform->messages.size(), 2);
    QCOMPARE(m_platform->messages[0].text,
             ErrorReportText(QStringLiteral("Permission denied"), procedure, 106));
    QCOMPARE(m_platform->messages[1].text,
             ErrorReportText(QStringLiteral("Permission denied"), procedure, 109));
    // The boxes still show the samples' options, and the samples are there.
    QCOMPARE(options(), (QList<int>{1, 1, 0}));
    QCOMPARE(m_form->ListView1->ListItems.Count(), 3);
}

void TestInputList::clearListEmptiesOnlyTheInputList()
{
    setOptions(*m_form, 1, 0, 1);
    fill(m_form->ListView1, {QStringLiteral("a"), QStringLiteral("b")});
    fill(m_form->ListView2, {QStringLiteral("v")});
    fill(m_form->ListView3, {QStringLiteral("i")});
    m_platform->settingWrites.clear();
    m_form->PushButton1->click();
    QCOMPARE(m_form->ListView1->ListItems.Count(), 0);
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("v")});
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("i")});
    QCOMPARE(options(), (QList<int>{1, 0, 1}));
    QVERIFY(m_platform->settingWrites.isEmpty());
    QVERIFY(m_platform->messages.isEmpty());
}

void TestInputList::clearListDoesNothingWhileBusy()
{
    fill(m_form->ListView1, {QStringLiteral("a"), QStringLiteral("b")});
    m_form->SetMousePointer(Pointer::Hourglass);
    m_form->PushButton1_Click();
    QCOMPARE(entries(m_form->ListView1), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    m_form->SetMousePointer(Pointer::Default);
    m_form->PushButton1_Click();
    QCOMPARE(m_form->ListView1->ListItems.Count(), 0);
}

void TestInputList::removesSelectedEntry_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("shift");
    QTest::newRow("Delete") << false << 0;
    QTest::newRow("Shift+Delete") << false << 1;
    QTest::newRow("Ctrl+Delete") << false << 2;
    QTest::newRow("Alt+Shift+Delete") << false << 5;
    QTest::newRow("double-click") << true << 0;
}

void TestInputList::removesSelectedEntry()
{
    QFETCH(bool, doubleClick);
    QFETCH(int, shift);
    fill(m_form->ListView1, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    fill(m_form->ListView2, {QStringLiteral("v")});
    m_form->ListView1->SetSelectedIndex(2);
    doubleClick ? emit m_form->ListView1->DblClick() : emit m_form->ListView1->KeyDown(vbKeyDelete, shift);
    QCOMPARE(entries(m_form->ListView1), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("v")});
    QVERIFY(m_platform->messages.isEmpty());
}

void TestInputList::otherKeysRemoveNothing()
{
    fill(m_form->ListView1, {QStringLiteral("a"), QStringLiteral("b")});
    m_form->ListView1->SetSelectedIndex(1);
    for (int key : {8, 13, 45, 46 + 256, 65})
        m_form->ListView1_KeyDown(key, 0);
    QCOMPARE(m_form->ListView1->ListItems.Count(), 2);
}

void TestInputList::removalIdleWhenBusyEmptyOrUnselected_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("doubleClick");
    for (const char *state : {"busy", "empty", "nothing selected"}) {
        QTest::addRow("%s, Delete", state) << QString::fromLatin1(state) << false;
        QTest::addRow("%s, double-click", state) << QString::fromLatin1(state) << true;
    }
}

void TestInputList::removalIdleWhenBusyEmptyOrUnselected()
{
    QFETCH(QString, state);
    QFETCH(bool, doubleClick);
    QStringList before;
    if (state != QLatin1StringView("empty")) {
        before = {QStringLiteral("a"), QStringLiteral("b")};
        fill(m_form->ListView1, before);
    }
    if (state == QLatin1StringView("busy")) {
        m_form->ListView1->SetSelectedIndex(1);
        m_form->SetMousePointer(Pointer::Hourglass);
    }
    doubleClick ? m_form->ListView1_DblClick() : m_form->ListView1_KeyDown(vbKeyDelete, 0);
    QCOMPARE(entries(m_form->ListView1), before);
    QVERIFY(m_platform->messages.isEmpty());
}

QTEST_MAIN(TestInputList)
#include "tst_inputlist.moc"
