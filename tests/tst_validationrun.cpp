#include "app/form1.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "testsupport.h"
#include "validation/validationhandlers.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <new>

namespace {

const QString kRunProcedure = Procedure::PushButton17_Click;

struct InjectedFault
{
    int step;
    qsizetype entry;
};

} // namespace

class TestValidationRun : public QObject, private FormFixture
{
    Q_OBJECT

private:
    // Fills both result lists by a run over the given input.
    void runOver(const QStringList &input)
    {
        fill(m_form->ListView1, input);
        m_form->PushButton17_Click();
    }
    // The same run with a step hook, which the judging calls before each of
    // its numbered steps.
    template<typename StepHook>
    void runOver(const QStringList &input, StepHook &&atStep)
    {
        fill(m_form->ListView1, input);
        startValidating(*m_form, std::forward<StepHook>(atStep));
    }

private slots:
    void init()
    {
        loadForm();
        m_platform->messages.clear();
        m_platform->settingWrites.clear();
    }
    void cleanup() { closeForm(); }

    void sortsEveryEntryIntoOneResultList_data();
    void sortsEveryEntryIntoOneResultList();
    void runsAsTheButtonIsClicked();
    void runningTwiceGivesTheSameResults();
    void leavesTheInputListUnchanged();
    void newRunRestoresRemovedResults();
    void isBusyWhileJudgingAndNotAfterwards();
    void refusesToRunWhileBusy();
    void failingStepIsReportedAndTheRunGoesOn_data();
    void failingStepIsReportedAndTheRunGoesOn();
    void twoFailuresGiveTwoReportsInOrder();
    void runningOutOfMemoryIsReportedOnce();
    void clearResultsEmptiesOnlyItsOwnList_data();
    void clearResultsEmptiesOnlyItsOwnList();
    void clearResultsOnEmptyListShowsNothing();
    void clearResultsRefusesWhileBusy_data();
    void clearResultsRefusesWhileBusy();
    void removesSelectedResultEntry_data();
    void removesSelectedResultEntry();
    void otherKeysRemoveNothing();
    void realDeleteKeyRemovesSelectedEntry();
    void removalWithoutSelectionRemovesNothing_data();
    void removalWithoutSelectionRemovesNothing();
    void removalDoesNothingWhileBusy_data();
    void removalDoesNothingWhileBusy();
    void removalOnEmptyListDoesNothing_data();
    void removalOnEmptyListDoesNothing();
    void showsTheHelpText_data();
    void showsTheHelpText();
    void newUserWalkThrough();
};

void TestValidationRun::sortsEveryEntryIntoOneResultList_data()
{
    QTest::addColumn<QList<int>>("options");
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("valid");
    QTest::addColumn<QStringList>("invalid");
    const QList<int> all{1, 1, 1};
    const QString ten = QStringLiteral("888-342-9122");
    const QString plus1 = QStringLiteral("1-888-342-9122");
    const QString seven = QStringLiteral("342-9122");
    const QString abc = QStringLiteral("abc");
    QTest::newRow("empty input") << all << QStringList() << QStringList() << QStringList();
    QTest::newRow("all options, input order kept")
        << all << QStringList{ten, plus1, seven, abc} << QStringList{ten, plus1, seven} << QStringList{abc};
    QTest::newRow("invalid first") << all << QStringList{abc, seven, QStringLiteral("x"), ten}
                                   << QStringList{seven, ten} << QStringList{abc, QStringLiteral("x")};
    QTest::newRow("no option on") << QList<int>{0, 0, 0} << QStringList{ten, plus1, seven, abc}
                                  << QStringList() << QStringList{ten, plus1, seven, abc};
    QTest::newRow("greyed options count as off")
        << QList<int>{2, 2, 1} << QStringList{ten, seven} << QStringList{seven} << QStringList{ten};
    QTest::newRow("duplicates stay") << all << QStringList{ten, abc, ten, abc, ten}
                                     << QStringList{ten, ten, ten} << QStringList{abc, abc};
    QTest::newRow("spaces kept as written")
        << all << QStringList{QStringLiteral(" 888-342-9122"), QStringLiteral("888-342-9122 "), ten}
        << QStringList{ten} << QStringList{QStringLiteral(" 888-342-9122"), QStringLiteral("888-342-9122 ")};
    QTest::newRow("empty entry") << all << QStringList{QString(), ten} << QStringList{ten}
                                 << QStringList{QString()};
    QTest::newRow("text beyond Latin-1 kept")
        << all
        << QStringList{QStringLiteral(u"\uFF18\uFF18\uFF18-342-9122"), QStringLiteral(u"342-9122 \u2713")}
        << QStringList()
        << QStringList{QStringLiteral(u"\uFF18\uFF18\uFF18-342-9122"), QStringLiteral(u"342-9122 \u2713")};
    QTest::newRow("only 7-digit") << QList<int>{0, 0, 1} << QStringList{ten, plus1, seven}
                                  << QStringList{seven} << QStringList{ten, plus1};
}

void TestValidationRun::sortsEveryEntryIntoOneResultList()
{
    QFETCH(QList<int>, options);
    QFETCH(QStringList, input);
    QFETCH(QStringList, valid);
    QFETCH(QStringList, invalid);
    setOptions(*m_form, options[0], options[1], options[2]);
    m_platform->settingWrites.clear();
    // Earlier results are replaced, not added to.
    fill(m_form->ListView2, {QStringLiteral("old valid")});
    fill(m_form->ListView3, {QStringLiteral("old invalid")});
    runOver(input);
    QCOMPARE(entries(m_form->ListView2), valid);
    QCOMPARE(entries(m_form->ListView3), invalid);
    for (const ListView *list : {m_form->ListView2, m_form->ListView3}) {
        for (qsizetype i = 1; i <= list->ListItems.Count(); ++i)
            QVERIFY(list->ListItems.Item(i).Checked());
    }
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
    QVERIFY(m_platform->messages.isEmpty());
    QVERIFY(m_platform->settingWrites.isEmpty());
}

void TestValidationRun::runsAsTheButtonIsClicked()
{
    setOptions(*m_form, 1, 0, 0);
    fill(m_form->ListView1, {QStringLiteral("888-342-9122"), QStringLiteral("342-9122")});
    m_form->PushButton17->click();
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("888-342-9122")});
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("342-9122")});
}

void TestValidationRun::runningTwiceGivesTheSameResults()
{
    setOptions(*m_form, 1, 1, 1);
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc"), QStringLiteral("342-9122")});
    const QStringList valid = entries(m_form->ListView2);
    const QStringList invalid = entries(m_form->ListView3);
    m_form->PushButton17_Click();
    QCOMPARE(entries(m_form->ListView2), valid);
    QCOMPARE(entries(m_form->ListView3), invalid);
    QCOMPARE(valid.size() + invalid.size(), m_form->ListView1->ListItems.Count());
}

void TestValidationRun::leavesTheInputListUnchanged()
{
    setOptions(*m_form, 1, 1, 1);
    const QStringList input{QStringLiteral("888-342-9122"), QStringLiteral(" x "), QString(),
                            QStringLiteral(u"\u00E9\u4E2D")};
    fill(m_form->ListView1, input);
    m_form->ListView1->ListItems.Item(2).SetChecked(false);
    m_form->ListView1->SetSelectedIndex(3);
    m_form->PushButton17_Click();
    QCOMPARE(entries(m_form->ListView1), input);
    QVERIFY(m_form->ListView1->ListItems.Item(1).Checked());
    QVERIFY(!m_form->ListView1->ListItems.Item(2).Checked());
    QCOMPARE(m_form->ListView1->SelectedItem()->Index(), 3);
    QCOMPARE(Form1::CheckValue(m_form->Check1), 1);
    QCOMPARE(Form1::CheckValue(m_form->Check2), 1);
    QCOMPARE(Form1::CheckValue(m_form->Check3), 1);
}

void TestValidationRun::newRunRestoresRemovedResults()
{
    setOptions(*m_form, 1, 0, 0);
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("8883429122"), QStringLiteral("a"),
             QStringLiteral("b")});
    m_form->ListView2->SetSelectedIndex(1);
    m_form->ListView2_KeyDown(vbKeyDelete, 0);
    m_form->PushButton9_Click();
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("8883429122")});
    QVERIFY(entries(m_form->ListView3).isEmpty());
    m_form->PushButton17_Click();
    QCOMPARE(entries(m_form->ListView2),
             (QStringList{QStringLiteral("888-342-9122"), QStringLiteral("8883429122")}));
    QCOMPARE(entries(m_form->ListView3), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

void TestValidationRun::isBusyWhileJudgingAndNotAfterwards()
{
    setOptions(*m_form, 1, 1, 1);
    QList<int> pointers;
    runOver({QStringLiteral("1"), QStringLiteral("2")}, [&](int step, qsizetype) {
        if (step == 108)
            pointers.append(m_form->MousePointer());
    });
    QCOMPARE(pointers, (QList<int>{Pointer::Hourglass, Pointer::Hourglass}));
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
    QVERIFY(!m_form->IsBusy());
}

void TestValidationRun::refusesToRunWhileBusy()
{
    // A yielding export keeps the window busy while it reads a result list.
    setOptions(*m_form, 1, 1, 1);
    fill(m_form->ListView1, {QStringLiteral("888-342-9122"), QStringLiteral("abc")});
    fill(m_form->ListView2, {QStringLiteral("being exported")});
    m_form->SetMousePointer(Pointer::Hourglass);
    m_form->PushButton17_Click();
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("being exported")});
    QVERIFY(entries(m_form->ListView3).isEmpty());
    QCOMPARE(m_form->MousePointer(), Pointer::Hourglass);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestValidationRun::failingStepIsReportedAndTheRunGoesOn_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<qsizetype>("entry");
    QTest::addColumn<QStringList>("valid");
    QTest::addColumn<QStringList>("invalid");
    // Input: 888-342-9122, abc, 342-9122, xyz with all options on.
    const QString ten = QStringLiteral("888-342-9122");
    const QString seven = QStringLiteral("342-9122");
    const QString abc = QStringLiteral("abc");
    const QString xyz = QStringLiteral("xyz");
    QTest::newRow("appending a valid entry")
        << 110 << qsizetype(3) << QStringList{ten} << QStringList{abc, xyz};
    QTest::newRow("appending an invalid entry")
        << 112 << qsizetype(2) << QStringList{ten, seven} << QStringList{xyz};
    QTest::newRow("reading the first entry")
        << 106 << qsizetype(1) << QStringList{seven} << QStringList{abc, xyz};
    QTest::newRow("reading the last entry")
        << 106 << qsizetype(4) << QStringList{ten, seven} << QStringList{abc};
    QTest::newRow("judging counts as not valid")
        << 108 << qsizetype(3) << QStringList{ten} << QStringList{abc, seven, xyz};
    QTest::newRow("advancing the loop leaves it")
        << 114 << qsizetype(2) << QStringList{ten} << QStringList{abc};
    QTest::newRow("advancing after the last entry")
        << 114 << qsizetype(4) << QStringList{ten, seven} << QStringList{abc, xyz};
}

void TestValidationRun::failingStepIsReportedAndTheRunGoesOn()
{
    QFETCH(int, step);
    QFETCH(qsizetype, entry);
    QFETCH(QStringList, valid);
    QFETCH(QStringList, invalid);
    setOptions(*m_form, 1, 1, 1);
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc"), QStringLiteral("342-9122"),
             QStringLiteral("xyz")},
            [=](int s, qsizetype i) {
                if (s == step && i == entry)
                    throw Failure(QStringLiteral("Injected fault"));
            });
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].text,
             ErrorReportText(QStringLiteral("Injected fault"), kRunProcedure, step));
    QCOMPARE(m_platform->messages[0].style, MsgBoxStyle::Exclamation);
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(entries(m_form->ListView2), valid);
    QCOMPARE(entries(m_form->ListView3), invalid);
    QCOMPARE(m_form->MousePointer(), Pointer::Default); // step 116 still runs
}

void TestValidationRun::twoFailuresGiveTwoReportsInOrder()
{
    setOptions(*m_form, 1, 1, 1);
    // A step that fails once per entry must not stop later entries.
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc"), QStringLiteral("342-9122"),
             QStringLiteral("xyz")},
            [](int s, qsizetype i) {
                if ((s == 110 && i == 1) || (s == 112 && i == 2))
                    throw Failure(QStringLiteral("Fault %1").arg(i));
            });
    QCOMPARE(m_platform->messages.size(), 2);
    QCOMPARE(m_platform->messages[0].text, ErrorReportText(QStringLiteral("Fault 1"), kRunProcedure, 110));
    QCOMPARE(m_platform->messages[1].text, ErrorReportText(QStringLiteral("Fault 2"), kRunProcedure, 112));
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("342-9122")});
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("xyz")});
}

void TestValidationRun::runningOutOfMemoryIsReportedOnce()
{
    setOptions(*m_form, 1, 1, 1);
    // From entry 2 on every append fails, as it would with memory exhausted.
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc"), QStringLiteral("342-9122"),
             QStringLiteral("xyz")},
            [](int s, qsizetype i) {
                if ((s == 110 || s == 112) && i >= 2)
                    throw std::bad_alloc();
            });
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].text,
             ErrorReportText(QStringLiteral("Out of memory"), kRunProcedure, 112));
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("888-342-9122")});
    QVERIFY(entries(m_form->ListView3).isEmpty());
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
}

void TestValidationRun::clearResultsEmptiesOnlyItsOwnList_data()
{
    QTest::addColumn<int>("button"); // 2 or 9
    QTest::newRow("valid list") << 2;
    QTest::newRow("invalid list") << 9;
}

void TestValidationRun::clearResultsEmptiesOnlyItsOwnList()
{
    QFETCH(int, button);
    setOptions(*m_form, 1, 0, 1);
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc"), QStringLiteral("342-9122")});
    const QStringList input = entries(m_form->ListView1);
    const QStringList valid = entries(m_form->ListView2);
    const QStringList invalid = entries(m_form->ListView3);
    m_platform->settingWrites.clear();
    (button == 2 ? m_form->PushButton2 : m_form->PushButton9)->click();
    QCOMPARE(entries(m_form->ListView1), input);
    QCOMPARE(entries(m_form->ListView2), button == 2 ? QStringList() : valid);
    QCOMPARE(entries(m_form->ListView3), button == 9 ? QStringList() : invalid);
    QCOMPARE(Form1::CheckValue(m_form->Check2), 0);
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
    QVERIFY(m_platform->messages.isEmpty());
    QVERIFY(m_platform->settingWrites.isEmpty());
}

void TestValidationRun::clearResultsOnEmptyListShowsNothing()
{
    m_form->PushButton2_Click();
    m_form->PushButton9_Click();
    QCOMPARE(m_form->ListView2->ListItems.Count(), 0);
    QCOMPARE(m_form->ListView3->ListItems.Count(), 0);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestValidationRun::clearResultsRefusesWhileBusy_data()
{
    clearResultsEmptiesOnlyItsOwnList_data();
}

void TestValidationRun::clearResultsRefusesWhileBusy()
{
    QFETCH(int, button);
    fill(m_form->ListView2, {QStringLiteral("v")});
    fill(m_form->ListView3, {QStringLiteral("i")});
    m_form->SetMousePointer(Pointer::Hourglass);
    (button == 2 ? m_form->PushButton2 : m_form->PushButton9)->click();
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("v")});
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("i")});
    QCOMPARE(m_form->MousePointer(), Pointer::Hourglass);
}

void TestValidationRun::removesSelectedResultEntry_data()
{
    QTest::addColumn<int>("list"); // 2 or 3
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("shift");
    QTest::newRow("valid, Delete") << 2 << false << 0;
    QTest::newRow("valid, Shift+Delete") << 2 << false << 1;
    QTest::newRow("valid, Ctrl+Delete") << 2 << false << 2;
    QTest::newRow("valid, Alt+Delete") << 2 << false << 4;
    QTest::newRow("valid, double-click") << 2 << true << 0;
    QTest::newRow("invalid, Delete") << 3 << false << 0;
    QTest::newRow("invalid, Shift+Ctrl+Delete") << 3 << false << 3;
    QTest::newRow("invalid, double-click") << 3 << true << 0;
}

void TestValidationRun::removesSelectedResultEntry()
{
    QFETCH(int, list);
    QFETCH(bool, doubleClick);
    QFETCH(int, shift);
    setOptions(*m_form, 0, 0, 1);
    runOver({QStringLiteral("111-1111"), QStringLiteral("a"), QStringLiteral("222-2222"), QStringLiteral("b"),
             QStringLiteral("333-3333"), QStringLiteral("c")});
    ListView *target = list == 2 ? m_form->ListView2 : m_form->ListView3;
    ListView *other = list == 2 ? m_form->ListView3 : m_form->ListView2;
    const QStringList before = entries(target);
    const QStringList otherBefore = entries(other);
    const QStringList input = entries(m_form->ListView1);
    target->SetSelectedIndex(2);
    // Through the list's own events, as the window wires them.
    if (doubleClick)
        emit target->DblClick();
    else
        emit target->KeyDown(vbKeyDelete, shift);
    QStringList expected = before;
    expected.removeAt(1);
    QCOMPARE(entries(target), expected);
    QCOMPARE(entries(other), otherBefore);
    QCOMPARE(entries(m_form->ListView1), input);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestValidationRun::otherKeysRemoveNothing()
{
    setOptions(*m_form, 1, 1, 1);
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc")});
    m_form->ListView2->SetSelectedIndex(1);
    m_form->ListView3->SetSelectedIndex(1);
    for (int key : {8, 45, 13, 27, 65, 110})
        m_form->ListView2_KeyDown(key, 0), m_form->ListView3_KeyDown(key, 0);
    QCOMPARE(m_form->ListView2->ListItems.Count(), 1);
    QCOMPARE(m_form->ListView3->ListItems.Count(), 1);
}

void TestValidationRun::realDeleteKeyRemovesSelectedEntry()
{
    setOptions(*m_form, 1, 1, 1);
    runOver({QStringLiteral("888-342-9122"), QStringLiteral("342-9122")});
    m_form->ListView2->SetSelectedIndex(2);
    QTest::keyClick(m_form->ListView2, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(entries(m_form->ListView2), QStringList{QStringLiteral("888-342-9122")});
}

void TestValidationRun::removalWithoutSelectionRemovesNothing_data()
{
    removesSelectedResultEntry_data();
}

void TestValidationRun::removalWithoutSelectionRemovesNothing()
{
    QFETCH(int, list);
    QFETCH(bool, doubleClick);
    QFETCH(int, shift);
    ListView *target = list == 2 ? m_form->ListView2 : m_form->ListView3;
    fill(target, {QStringLiteral("one"), QStringLiteral("two")});
    QVERIFY(!target->SelectedItem());
    doubleClick ? (list == 2 ? m_form->ListView2_DblClick() : m_form->ListView3_DblClick())
                : (list == 2 ? m_form->ListView2_KeyDown(vbKeyDelete, shift)
                             : m_form->ListView3_KeyDown(vbKeyDelete, shift));
    QCOMPARE(entries(target), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    QVERIFY(m_platform->messages.isEmpty());
}

void TestValidationRun::removalDoesNothingWhileBusy_data()
{
    removesSelectedResultEntry_data();
}

void TestValidationRun::removalDoesNothingWhileBusy()
{
    QFETCH(int, list);
    QFETCH(bool, doubleClick);
    QFETCH(int, shift);
    ListView *target = list == 2 ? m_form->ListView2 : m_form->ListView3;
    fill(target, {QStringLiteral("one"), QStringLiteral("two")});
    target->SetSelectedIndex(1);
    m_form->SetMousePointer(Pointer::Hourglass);
    doubleClick ? emit target->DblClick() : emit target->KeyDown(vbKeyDelete, shift);
    QCOMPARE(entries(target), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
}

void TestValidationRun::removalOnEmptyListDoesNothing_data()
{
    removesSelectedResultEntry_data();
}

void TestValidationRun::removalOnEmptyListDoesNothing()
{
    QFETCH(int, list);
    QFETCH(bool, doubleClick);
    QFETCH(int, shift);
    ListView *target = list == 2 ? m_form->ListView2 : m_form->ListView3;
    fill(m_form->ListView1, {QStringLiteral("input")});
    doubleClick ? emit target->DblClick() : emit target->KeyDown(vbKeyDelete, shift);
    QCOMPARE(target->ListItems.Count(), 0);
    QCOMPARE(m_form->ListView1->ListItems.Count(), 1);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestValidationRun::showsTheHelpText_data()
{
    QTest::addColumn<bool>("withState");
    QTest::newRow("fresh window") << false;
    QTest::newRow("lists filled, options mixed") << true;
}

void TestValidationRun::showsTheHelpText()
{
    QFETCH(bool, withState);
    if (withState) {
        setOptions(*m_form, 1, 0, 2);
        runOver({QStringLiteral("888-342-9122"), QStringLiteral("abc")});
        m_platform->messages.clear();
    }
    const QStringList input = entries(m_form->ListView1);
    m_form->PushButton5->click();
    QCOMPARE(m_platform->messages.size(), 1);
    const FakePlatform::Message &box = m_platform->messages[0];
    QCOMPARE(box.text,
             QStringLiteral(
                 "Each numbers should be on its own line, such as:\r\n\r\n888-934-8932\r\n6035348892\r\n\r\n"
                 "This tool only validates the length and format of phone numbers, it does not determine "
                 "if the phone number connects correctly with the desired party when dialed (for "
                 "example). This tools is usually used to filter mistyped phone numbers."));
    QCOMPARE(box.style, MsgBoxStyle::OkOnly);
    QVERIFY(box.title.isEmpty()); // the application title
    QCOMPARE(entries(m_form->ListView1), input);
}

void TestValidationRun::newUserWalkThrough()
{
    m_form->PushButton12->click(); // Load Sample/Example Numbers
    m_form->PushButton17->click(); // Start Validating
    QCOMPARE(entries(m_form->ListView2),
             (QStringList{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122")}));
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("342-9122")});

    m_platform->inputAnswers.enqueue(QStringLiteral("888-342-9122, (888) 342-9122,abc"));
    m_form->PushButton6->click(); // Add Phone Number or Numbers
    QCOMPARE(entries(m_form->ListView1),
             (QStringList{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122"),
                          QStringLiteral("342-9122"), QStringLiteral("888-342-9122"),
                          QStringLiteral("(888) 342-9122"), QStringLiteral("abc")}));
    m_form->PushButton17->click();
    QCOMPARE(entries(m_form->ListView2),
             (QStringList{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122"),
                          QStringLiteral("888-342-9122"), QStringLiteral("(888) 342-9122")}));
    QCOMPARE(entries(m_form->ListView3), (QStringList{QStringLiteral("342-9122"), QStringLiteral("abc")}));

    m_form->ListView3->SetSelectedIndex(2);
    emit m_form->ListView3->DblClick();
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("342-9122")});

    m_form->PushButton2->click();
    QCOMPARE(m_form->ListView2->ListItems.Count(), 0);
    m_form->PushButton1->click(); // Clear List
    QCOMPARE(m_form->ListView1->ListItems.Count(), 0);
    QCOMPARE(entries(m_form->ListView3), QStringList{QStringLiteral("342-9122")});
    QVERIFY(m_platform->messages.isEmpty());
}

QTEST_MAIN(TestValidationRun)
#include "tst_validationrun.moc"
