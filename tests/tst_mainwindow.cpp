#include "app/form1.h"
#include "platform/fakeplatform.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>

// The window's controls as the designer placed them (twips, 15 per pixel).
class TestMainWindow : public QObject, private FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controlPlacement_data();
    void controlPlacement();
    void windowIsFixedSizeWithoutMaximise();
    void tabOrderFollowsTheDesign();
    void listsHaveOneTitledColumnAndTooltip_data();
    void listsHaveOneTitledColumnAndTooltip();
    void fontsAreArialBold();
    void closingUnwindsAYieldingCommand();
};

void TestMainWindow::init()
{
    loadForm();
}

void TestMainWindow::cleanup()
{
    closeForm();
}

void TestMainWindow::controlPlacement_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    const struct
    {
        const char *name;
        const char *caption;
        int left, top, width, height;
    } controls[] = {
        {"ListView1", "", 120, 630, 7800, 2055},
        {"ListView2", "", 8040, 120, 7800, 1635},
        {"ListView3", "", 8040, 2880, 7800, 1635},
        {"PushButton6", "Add Phone Number or Numbers", 120, 2775, 3840, 405},
        {"PushButton3", "Load Numbers From Text File", 4080, 2775, 3840, 405},
        {"PushButton1", "Clear List", 120, 3285, 3840, 405},
        {"PushButton17", "Start Validating", 120, 5145, 7800, 405},
        {"PushButton4", "Save Results As Text File", 8040, 1845, 3840, 405},
        {"PushButton13", "Save Results As Excel File", 12000, 1845, 3840, 405},
        {"PushButton2", "Clear Results", 12000, 2355, 3840, 405},
        {"PushButton8", "Save Results As Text File", 8040, 4620, 3840, 405},
        {"PushButton7", "Save Results As Excel File", 12000, 4620, 3840, 405},
        {"PushButton9", "Clear Results", 12000, 5145, 3840, 405},
        {"PushButton5", "Help", 120, 120, 7800, 405},
        {"PushButton10", "Copy Results To Clipboard", 8040, 2355, 3840, 405},
        {"PushButton11", "Copy Results To Clipboard", 8040, 5145, 3840, 405},
        {"PushButton12", "Load Sample/Example Numbers", 4080, 3285, 3840, 405},
        {"Frame1", "Options", 120, 3720, 7800, 1305},
        {"Check1", "Allow 10 digit phone numbers such as 888-342-9122", 240, 250, 7335, 255},
        {"Check2", "Allow 10 digit phone numbers plus 1 such as 1-888-342-9122", 240, 600, 7335, 255},
        {"Check3", "Allow 7 digit phone numbers such as 342-9122", 240, 950, 7335, 255},
    };
    for (const auto &c : controls)
        QTest::newRow(c.name) << QString::fromLatin1(c.name) << QString::fromLatin1(c.caption)
                              << QRect(c.left, c.top, c.width, c.height);
}

void TestMainWindow::controlPlacement()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    auto *widget = m_form->findChild<QWidget *>(name);
    QVERIFY(widget);
    const auto toPixels = [](int t) { return qRound(t / 15.0); };
    QCOMPARE(widget->geometry(),
             QRect(toPixels(twips.left()), toPixels(twips.top()), toPixels(twips.width()),
                   toPixels(twips.height())));
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), caption);
    if (auto *frame = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(frame->title(), caption);
}

void TestMainWindow::windowIsFixedSizeWithoutMaximise()
{
    QCOMPARE(m_form->size(), QSize(1064, 378));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    QVERIFY(!(m_form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Quillory"));
}

void TestMainWindow::tabOrderFollowsTheDesign()
{
    const QStringList expected = {
        QStringLiteral("ListView1"),    QStringLiteral("ListView2"),    QStringLiteral("ListView3"),
        QStringLiteral("PushButton6"),  QStringLiteral("PushButton3"),  QStringLiteral("PushButton1"),
        QStringLiteral("PushButton17"), QStringLiteral("PushButton4"),  QStringLiteral("PushButton13"),
        QStringLiteral("PushButton2"),  QStringLiteral("PushButton8"),  QStringLiteral("PushButton7"),
        QStringLiteral("PushButton9"),  QStringLiteral("PushButton5"),  QStringLiteral("PushButton10"),
        QStringLiteral("PushButton11"), QStringLiteral("PushButton12"), QStringLiteral("Check1"),
        QStringLiteral("Check2"),       QStringLiteral("Check3"),
    };
    QStringList actual;
    QWidget *w = m_form->ListView1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            actual << w->objectName();
        w = w->nextInFocusChain();
    } while (w != m_form->ListView1 && actual.size() < 40);
    // The chain may pass through inner widgets (scroll bars, header); keep named controls.
    actual.removeIf([&](const QString &n) { return !expected.contains(n); });
    QCOMPARE(actual, expected);
}

void TestMainWindow::listsHaveOneTitledColumnAndTooltip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::newRow("input") << QStringLiteral("ListView1") << QStringLiteral("Phone Numbers");
    QTest::newRow("valid") << QStringLiteral("ListView2") << QStringLiteral(" Valid Numbers");
    QTest::newRow("invalid") << QStringLiteral("ListView3") << QStringLiteral("Invalid Numbers");
}

void TestMainWindow::listsHaveOneTitledColumnAndTooltip()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    auto *list = m_form->findChild<ListView *>(name);
    QVERIFY(list);
    QCOMPARE(list->ColumnHeaders.Count(), 1);
    QCOMPARE(list->ColumnHeaders.Item(1).Text(), title);
    QCOMPARE(list->ColumnHeaders.Item(1).Width(), 7000);
    QCOMPARE(list->header()->sectionSize(0), 467);
    QCOMPARE(list->ListItems.Count(), 0);
    QCOMPARE(list->toolTip(),
             QStringLiteral("Double-click item to remove it. Move | line to right and out of "
                            "window to reveal full names."));
}

void TestMainWindow::fontsAreArialBold()
{
    QCOMPARE(m_form->font().family(), QStringLiteral("Arial"));
    QVERIFY(m_form->font().bold());
    QCOMPARE(m_form->font().pointSizeF(), 9.0);
    QCOMPARE(m_form->PushButton17->font().pointSizeF(), 11.25);
    QVERIFY(m_form->PushButton17->font().bold());
    QCOMPARE(m_form->ListView2->font().pointSizeF(), 9.0);
    QCOMPARE(m_form->Check3->font().pointSizeF(), 9.0);
}

void TestMainWindow::closingUnwindsAYieldingCommand()
{
    m_form->yielder().setIntervalMs(0);
    int yields = 0;
    m_platform->onProcessEvents = [&] {
        if (++yields == 3)
            m_form->close(); // the user closes the window while a command yields
    };
    int entriesDone = 0;
    bool unwound = false;
    try {
        for (int i = 0; i < 10; ++i) {
            m_form->DoEvents();
            ++entriesDone;
        }
    } catch (const CommandAborted &) {
        unwound = true;
    }
    QVERIFY(unwound);
    QCOMPARE(entriesDone, 2);
    QVERIFY(m_form->IsUnloading());
    QVERIFY(!m_form->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
