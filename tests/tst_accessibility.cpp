#include "app/form1.h"
#include "app/list/listview.h"
#include "contrast.h"
#include "platform/fakeplatform.h"
#include "platform/qtplatform.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#ifdef QUILLORY_HAVE_QPA_ACCESSIBILITY
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#endif

#include <algorithm>
#include <functional>

namespace {

// What an assistive technology was told, read as it arrived.
struct Told
{
    QAccessible::Event type;
    QObject *object;
    int child;
    QString name;              // of the row the event names
    int change = -1;           // of a row count change: QAccessibleTableModelChangeEvent's type
    int first = -1, last = -1; // and its rows
};
QList<Told> g_events;

void recordEvent(QAccessibleEvent *event)
{
    Told told{event->type(), event->object(), event->child(), {}};
    if (event->child() >= 0) {
        if (QAccessibleInterface *row = event->accessibleInterface())
            told.name = row->text(QAccessible::Name);
    }
    if (event->type() == QAccessible::TableModelChanged) {
        const auto *change = static_cast<QAccessibleTableModelChangeEvent *>(event);
        told.change = change->modelChangeType();
        told.first = change->firstRow();
        told.last = change->lastRow();
    }
    g_events.append(told);
}

// Events of `type` about `object`.
QList<Told> told(QAccessible::Event type, QObject *object)
{
    QList<Told> found;
    for (const Told &t : std::as_const(g_events)) {
        if (t.type == type && t.object == object)
            found.append(t);
    }
    return found;
}

// Switches the accessibility layer on as a screen reader's arrival would, with
// the events going to recordEvent instead of a bridge.
bool listenAsAssistiveTechnology()
{
#ifdef QUILLORY_HAVE_QPA_ACCESSIBILITY
    QAccessible::installUpdateHandler(recordEvent);
    QAccessible::installRootObjectHandler([](QObject *) {});
    QPlatformIntegration *integration = QGuiApplicationPrivate::platformIntegration();
    if (!integration || !integration->accessibility())
        return false;
    integration->accessibility()->setActive(true);
    return QAccessible::isActive();
#else
    return false;
#endif
}

void stopListening()
{
#ifdef QUILLORY_HAVE_QPA_ACCESSIBILITY
    if (QPlatformIntegration *integration = QGuiApplicationPrivate::platformIntegration()) {
        if (integration->accessibility())
            integration->accessibility()->setActive(false);
    }
#endif
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::installRootObjectHandler(nullptr);
}

QPalette darkPalette()
{
    QPalette pal;
    const QColor window(0x2b, 0x2b, 0x2b);
    const QColor text(0xee, 0xee, 0xee);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Window, window);
        pal.setColor(group, QPalette::WindowText, text);
        pal.setColor(group, QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        pal.setColor(group, QPalette::AlternateBase, window);
        pal.setColor(group, QPalette::Text, text);
        pal.setColor(group, QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
        pal.setColor(group, QPalette::ButtonText, text);
        pal.setColor(group, QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
        pal.setColor(group, QPalette::HighlightedText, Qt::white);
        pal.setColor(group, QPalette::Mid, QColor(0x50, 0x50, 0x50));
    }
    return pal;
}

} // namespace

class TestAccessibility : public QObject, FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listIsNamedListWithRows();
    void rowsAreMadeOnDemandAndFollowChanges();
    void currentAndSelectionAreAnnounced();
    void rowCountChangesAreAnnounced_data();
    void rowCountChangesAreAnnounced();
    void visitedRowsAreBounded();
    void mainWindowIsWindowNamedQuillory();
    void repeatedCaptionsHaveDescriptionsNamingTheirList_data();
    void repeatedCaptionsHaveDescriptionsNamingTheirList();

    void captionsContrastWithWindowUnderDarkTheme_data();
    void captionsContrastWithWindowUnderDarkTheme();
    void listColoursStayConsistentUnderDarkTheme();

    void emptyFocusedListShowsFocus();
    void returnAndEnterPressFocusedButton_data();
    void returnAndEnterPressFocusedButton();
    void f1OpensHelpFromAnywhere_data();
    void f1OpensHelpFromAnywhere();
    void captionsHaveNoMnemonics();
    void escapeClosesEveryBox_data();
    void escapeClosesEveryBox();

private:
    QPalette m_palette;
};

void TestAccessibility::init()
{
    m_palette = QApplication::palette();
    g_events.clear();
}

void TestAccessibility::cleanup()
{
    closeForm();
    stopListening();
    QApplication::setPalette(m_palette);
}

void TestAccessibility::listIsNamedListWithRows()
{
    loadForm();
    ListView *list = m_form->ListView2;
    NumberListModel *model = list->listModel();
    model->beginBatch();
    for (int i = 0; i < 1'000'000; ++i)
        model->append(QStringView(QStringLiteral("555-%1").arg(i, 7, 10, QLatin1Char('0'))));
    model->endBatch();

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::List);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral(" Valid Numbers"));
    QCOMPARE(iface->childCount(), 1'000'000);
    for (const int row : {0, 1, 499'999, 999'999}) {
        QAccessibleInterface *child = iface->child(row);
        QVERIFY(child);
        QCOMPARE(child->role(), QAccessible::ListItem);
        QCOMPARE(child->text(QAccessible::Name), QStringLiteral("555-%1").arg(row, 7, 10, QLatin1Char('0')));
        QCOMPARE(child->parent(), iface);
        QCOMPARE(iface->indexOfChild(child), row);
        QCOMPARE(iface->child(row), child); // the same object while the rows stand
    }
    QVERIFY(!iface->child(1'000'000));
    QVERIFY(!iface->child(-1));

    list->SetSelectedIndex(500'000);
    list->setFocus();
    QAccessibleInterface *current = iface->child(499'999);
    QVERIFY(current->state().selected);
    QVERIFY(!iface->child(0)->state().selected);
    QVERIFY(current->state().offscreen
            == !list->visualRect(model->index(499'999, 0)).intersects(list->viewport()->rect()));
}

void TestAccessibility::rowsAreMadeOnDemandAndFollowChanges()
{
    loadForm();
    ListView *list = m_form->ListView1;
    fill(list, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
    QAccessibleInterface *second = iface->child(1);
    const QAccessible::Id id = QAccessible::uniqueId(second);
    QCOMPARE(second->text(QAccessible::Name), QStringLiteral("b"));

    list->ListItems.Remove(1);                      // "a" goes, "b" moves up
    QVERIFY(!QAccessible::accessibleInterface(id)); // the old row object is gone
    QCOMPARE(iface->childCount(), 2);
    QCOMPARE(iface->child(0)->text(QAccessible::Name), QStringLiteral("b"));
    QCOMPARE(iface->child(1)->text(QAccessible::Name), QStringLiteral("c"));

    list->ListItems.Clear();
    QCOMPARE(iface->childCount(), 0);
    QVERIFY(!iface->child(0));
}

namespace {

QString rowText(int row)
{
    return QStringLiteral("555-%1").arg(row, 7, 10, QLatin1Char('0'));
}

void fillMillion(ListView *list)
{
    NumberListModel *model = list->listModel();
    model->beginBatch();
    for (int i = 0; i < 1'000'000; ++i)
        model->append(QStringView(rowText(i)));
    model->endBatch();
}

} // namespace

void TestAccessibility::currentAndSelectionAreAnnounced()
{
    if (!listenAsAssistiveTechnology())
        QSKIP(
            "Qt's private headers (qt6-base-private-dev) are needed to switch accessibility on in-process.");
    loadForm();
    ListView *list = m_form->ListView1;
    fillMillion(list);
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    list->setFocus();
    QVERIFY(list->hasFocus());

    // Row by row as the keys move, each event naming its row by index and text.
    struct Step
    {
        std::function<void()> act;
        int row;
    };
    const Step steps[] = {
        {[&] { list->SetSelectedIndex(999'999); }, 999'998},
        {[&] { QTest::keyClick(list, Qt::Key_Down); }, 999'999},
        {[&] { QTest::keyClick(list, Qt::Key_Up); }, 999'998},
        {[&] { QTest::keyClick(list, Qt::Key_Home); }, 0},
        {[&] { QTest::keyClick(list, Qt::Key_PageDown); }, -1}, // a page down: checked below
        {[&] { QTest::keyClick(list, Qt::Key_End); }, 999'999},
    };
    for (const Step &step : steps) {
        g_events.clear();
        step.act();
        const int row = step.row >= 0 ? step.row : list->currentIndex().row();
        QVERIFY(row > 0 || step.row == 0);
        const QList<Told> focus = told(QAccessible::Focus, list);
        const QList<Told> selection = told(QAccessible::Selection, list);
        QCOMPARE(focus.size(), 1);
        QCOMPARE(focus.front().child, row);
        QCOMPARE(focus.front().name, rowText(row));
        QCOMPARE(selection.size(), 1);
        QCOMPARE(selection.front().child, row);
        QCOMPARE(selection.front().name, rowText(row));

        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
        QAccessibleInterface *focused = iface->focusChild();
        QVERIFY(focused);
        QCOMPARE(iface->indexOfChild(focused), row);
        QVERIFY(focused->state().focused);
        QVERIFY(focused->state().selected);
    }

    // Without the focus the current row changes silently; the selection is still told.
    m_form->PushButton5->setFocus();
    g_events.clear();
    list->SetSelectedIndex(3);
    QVERIFY(told(QAccessible::Focus, list).isEmpty());
    QCOMPARE(told(QAccessible::Selection, list).size(), 1);
    QCOMPARE(told(QAccessible::Selection, list).front().child, 2);

    // Coming back, the list's focus is told together with its current row.
    g_events.clear();
    list->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!told(QAccessible::Focus, list).isEmpty()
                && told(QAccessible::Focus, list).back().child >= 0);
    const QList<Told> focus = told(QAccessible::Focus, list);
    QCOMPARE(focus.back().child, 2);
    QCOMPARE(focus.back().name, rowText(2));
}

void TestAccessibility::rowCountChangesAreAnnounced_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("rows");
    QTest::newRow("append one") << QStringLiteral("append")
                                << int(QAccessibleTableModelChangeEvent::RowsInserted) << 1'000'000
                                << 1'000'000 << 1'000'001;
    QTest::newRow("append a batch") << QStringLiteral("batch")
                                    << int(QAccessibleTableModelChangeEvent::RowsInserted) << 1'000'000
                                    << 1'000'999 << 1'001'000;
    QTest::newRow("remove the last") << QStringLiteral("remove last")
                                     << int(QAccessibleTableModelChangeEvent::RowsRemoved) << 999'999
                                     << 999'999 << 999'999;
    QTest::newRow("remove one in the middle")
        << QStringLiteral("remove middle") << int(QAccessibleTableModelChangeEvent::RowsRemoved) << 500'000
        << 500'000 << 999'999;
    QTest::newRow("clear") << QStringLiteral("clear") << int(QAccessibleTableModelChangeEvent::ModelReset)
                           << -1 << -1 << 0;
}

void TestAccessibility::rowCountChangesAreAnnounced()
{
    QFETCH(QString, change);
    QFETCH(int, type);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, rows);
    if (!listenAsAssistiveTechnology())
        QSKIP(
            "Qt's private headers (qt6-base-private-dev) are needed to switch accessibility on in-process.");
    loadForm();
    ListView *list = m_form->ListView1;
    fillMillion(list);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
    QAccessibleInterface *kept = iface->child(10); // a row a screen reader was reading
    const QAccessible::Id keptId = QAccessible::uniqueId(kept);
    g_events.clear();
    if (change == QLatin1StringView("append")) {
        list->ListItems.Add(QStringLiteral("new"));
    } else if (change == QLatin1StringView("batch")) {
        NumberListModel::Batch batch(*list->listModel());
        for (int i = 0; i < 1000; ++i)
            list->ListItems.Add(QStringLiteral("new"));
    } else if (change == QLatin1StringView("remove last")) {
        list->ListItems.Remove(1'000'000);
    } else if (change == QLatin1StringView("remove middle")) {
        list->ListItems.Remove(500'001);
    } else {
        list->ListItems.Clear();
    }
    const QList<Told> changes = told(QAccessible::TableModelChanged, list);
    QCOMPARE(changes.size(), 1); // one for the whole batch
    QCOMPARE(changes.front().change, type);
    if (first >= 0) {
        QCOMPARE(changes.front().first, first);
        QCOMPARE(changes.front().last, last);
    }
    QCOMPARE(iface->childCount(), rows);
    // A change after a row leaves the row's object alone: a screen reader
    // reading it does not lose it.
    if (first > 10) {
        QCOMPARE(QAccessible::accessibleInterface(keptId), kept);
        QCOMPARE(iface->child(10), kept);
    } else {
        QVERIFY(!QAccessible::accessibleInterface(keptId));
    }
    if (rows > 0) {
        const QString lastText = rows > 1'000'000        ? QStringLiteral("new")
            : change == QLatin1StringView("remove last") ? rowText(999'998)
                                                         : rowText(999'999);
        QCOMPARE(iface->child(rows - 1)->text(QAccessible::Name), lastText);
    }
}

void TestAccessibility::visitedRowsAreBounded()
{
    loadForm();
    ListView *list = m_form->ListView1;
    fillMillion(list);
    list->SetSelectedIndex(6);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
    QAccessibleInterface *current = iface->child(5); // where the screen reader's focus is
    const QAccessible::Id currentId = QAccessible::uniqueId(current);
    QList<QAccessible::Id> ids;
    for (int row = 0; row < 20'000; ++row)
        ids.append(QAccessible::uniqueId(iface->child(row)));
    const auto alive = std::count_if(ids.cbegin(), ids.cend(),
                                     [](QAccessible::Id id) { return QAccessible::accessibleInterface(id); });
    QVERIFY2(alive <= 4097, qPrintable(QString::number(alive)));
    QVERIFY(alive >= 1000); // the rows just read stay
    QCOMPARE(QAccessible::accessibleInterface(currentId), current);
    QCOMPARE(iface->child(19'999), QAccessible::accessibleInterface(ids.back()));
    QVERIFY(!QAccessible::accessibleInterface(ids.front())); // long ago: made anew when asked
    QAccessibleInterface *first = iface->child(0);
    QCOMPARE(first->text(QAccessible::Name), rowText(0));
    QCOMPARE(iface->indexOfChild(first), 0);
}

void TestAccessibility::mainWindowIsWindowNamedQuillory()
{
    loadForm();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(m_form.get());
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Window);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Quillory"));
    QCOMPARE(iface->childCount(), 18); // 3 lists, 14 buttons, the frame
}

void TestAccessibility::repeatedCaptionsHaveDescriptionsNamingTheirList_data()
{
    QTest::addColumn<QString>("valid");
    QTest::addColumn<QString>("invalid");
    QTest::newRow("save as text") << QStringLiteral("PushButton4") << QStringLiteral("PushButton8");
    QTest::newRow("save as workbook") << QStringLiteral("PushButton13") << QStringLiteral("PushButton7");
    QTest::newRow("copy") << QStringLiteral("PushButton10") << QStringLiteral("PushButton11");
    QTest::newRow("clear") << QStringLiteral("PushButton2") << QStringLiteral("PushButton9");
}

void TestAccessibility::repeatedCaptionsHaveDescriptionsNamingTheirList()
{
    QFETCH(QString, valid);
    QFETCH(QString, invalid);
    loadForm();
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(m_form->findChild<QPushButton *>(valid));
    QAccessibleInterface *b =
        QAccessible::queryAccessibleInterface(m_form->findChild<QPushButton *>(invalid));
    QVERIFY(a && b);
    QCOMPARE(a->role(), QAccessible::Button);
    QCOMPARE(a->text(QAccessible::Name), b->text(QAccessible::Name)); // the captions stay
    QVERIFY(a->text(QAccessible::Description).contains(QStringLiteral("Valid Numbers")));
    QVERIFY(!a->text(QAccessible::Description).contains(QStringLiteral("Invalid")));
    QVERIFY(b->text(QAccessible::Description).contains(QStringLiteral("Invalid Numbers")));
}

void TestAccessibility::captionsContrastWithWindowUnderDarkTheme_data()
{
    QTest::addColumn<QString>("control");
    for (const char *name : {"Frame1", "Check1", "Check2", "Check3"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestAccessibility::captionsContrastWithWindowUnderDarkTheme()
{
    QFETCH(QString, control);
    QApplication::setPalette(darkPalette());
    loadForm();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    const QImage image = m_form->grab().toImage();
    QWidget *widget = m_form->findChild<QWidget *>(control);
    QRect area;
    if (auto *frame = qobject_cast<QGroupBox *>(widget)) {
        // The title: left part of the frame's top line.
        area = QRect(frame->geometry().topLeft(),
                     QSize(frame->fontMetrics().horizontalAdvance(frame->title()) + 16,
                           frame->fontMetrics().height()));
    } else {
        // The caption, right of the indicator.
        const QRect box(widget->mapTo(m_form.get(), QPoint(0, 0)), widget->size());
        area = box.adjusted(24, 0, 0, 0);
    }
    const QColor background = image.pixelColor(area.right() - 1, area.center().y());
    QCOMPARE(background, QColor(Qt::white)); // the window's own background stays
    QVERIFY2(bestContrast(image, area, background) >= 7.0,
             qPrintable(QString::number(bestContrast(image, area, background))));
}

void TestAccessibility::listColoursStayConsistentUnderDarkTheme()
{
    QApplication::setPalette(darkPalette());
    loadForm();
    ListView *list = m_form->ListView1;
    fill(list, {QStringLiteral("8883429122")});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    const QImage image = list->viewport()->grab().toImage();
    const QColor base = image.pixelColor(image.width() - 3, image.height() - 3);
    QCOMPARE(base, darkPalette().color(QPalette::Base));
    const QRect row = list->visualRect(list->listModel()->index(0, 0));
    QVERIFY(bestContrast(image, row, base) >= 7.0);
}

void TestAccessibility::emptyFocusedListShowsFocus()
{
    loadForm();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    ListView *list = m_form->ListView1;
    QCOMPARE(list->ListItems.Count(), 0);
    m_form->PushButton5->setFocus();
    const QImage unfocused = list->viewport()->grab().toImage();
    list->setFocus(Qt::TabFocusReason);
    const QImage focused = list->viewport()->grab().toImage();
    QVERIFY(unfocused != focused);
}

void TestAccessibility::returnAndEnterPressFocusedButton_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers();
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Space") << int(Qt::Key_Space) << Qt::KeyboardModifiers();
}

void TestAccessibility::returnAndEnterPressFocusedButton()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    loadForm();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->PushButton12->setFocus();
    QTest::keyClick(m_form->PushButton12, Qt::Key(key), modifiers);
    QVERIFY(m_form->ListView1->ListItems.Count() > 0); // the sample numbers came in
}

void TestAccessibility::f1OpensHelpFromAnywhere_data()
{
    QTest::addColumn<QString>("focus");
    for (const char *name : {"ListView1", "ListView3", "PushButton17", "Check2"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestAccessibility::f1OpensHelpFromAnywhere()
{
    QFETCH(QString, focus);
    loadForm();
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QWidget *target = m_form->findChild<QWidget *>(focus);
    target->setFocus();
    const qsizetype before = m_platform->messages.size();
    QTest::keyClick(target, Qt::Key_F1);
    QCOMPARE(m_platform->messages.size(), before + 1);
}

void TestAccessibility::captionsHaveNoMnemonics()
{
    loadForm();
    const QList<QAbstractButton *> buttons = m_form->findChildren<QAbstractButton *>();
    QVERIFY(buttons.size() >= 17);
    for (const QAbstractButton *button : buttons)
        QVERIFY2(!button->text().contains(QLatin1Char('&')), qPrintable(button->text()));
    QVERIFY(!m_form->Frame1->title().contains(QLatin1Char('&')));
}

void TestAccessibility::escapeClosesEveryBox_data()
{
    QTest::addColumn<bool>("prompt");
    QTest::newRow("message") << false;
    QTest::newRow("prompt") << true;
}

void TestAccessibility::escapeClosesEveryBox()
{
    QFETCH(bool, prompt);
    QtPlatform platform;
    bool pressed = false;
    std::function<void()> pressEscape = [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box) {
            QTimer::singleShot(20, pressEscape);
            return;
        }
        pressed = true;
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape);
    };
    QTimer::singleShot(0, pressEscape);
    QTimer watchdog; // a box that stays open fails the test instead of hanging it
    watchdog.setSingleShot(true);
    bool stayedOpen = false;
    connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            stayedOpen = true;
            box->close();
        }
    });
    watchdog.start(5000);
    if (prompt)
        QCOMPARE(platform.InputBox(QStringLiteral("Enter numbers"), QString()), QString());
    else
        platform.MsgBox(QStringLiteral("Hello"), MsgBoxStyle::OkOnly, QString());
    QVERIFY(pressed);
    QVERIFY2(!stayedOpen, "the box stayed open after Escape");
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
