#include "app/form1.h"
#include "platform/appinfo.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

const QColor kButtonFace(0xd4, 0xd0, 0xc8);

void appendLe16(QByteArray &bytes, quint16 value)
{
    char buf[2];
    qToLittleEndian(value, buf);
    bytes.append(buf, 2);
}

void appendLe32(QByteArray &bytes, quint32 value)
{
    char buf[4];
    qToLittleEndian(value, buf);
    bytes.append(buf, 4);
}

// A 32x32 cursor file of our own: one 32-bit image, red top half, blue
// bottom half, fully opaque, with the given hot spot.
QByteArray makeCursorFile(int hotX, int hotY)
{
    constexpr int kSize = 32;
    QByteArray image;
    appendLe32(image, 40);        // BITMAPINFOHEADER size
    appendLe32(image, kSize);     // width
    appendLe32(image, kSize * 2); // height: colour rows and mask rows
    appendLe16(image, 1);         // planes
    appendLe16(image, 32);        // bits per pixel
    appendLe32(image, 0);         // no compression
    appendLe32(image, kSize * kSize * 4 + kSize * 4);
    for (int i = 0; i < 4; ++i)
        appendLe32(image, 0);
    for (int row = kSize - 1; row >= 0; --row) { // stored bottom-up
        for (int x = 0; x < kSize; ++x) {
            const bool top = row < kSize / 2;
            image.append(char(top ? 0 : 255)); // blue
            image.append(char(0));             // green
            image.append(char(top ? 255 : 0)); // red
            image.append(char(255));           // alpha
        }
    }
    image.append(QByteArray(kSize * 4, '\0')); // AND mask: all shown

    QByteArray file;
    appendLe16(file, 0); // reserved
    appendLe16(file, 2); // cursor
    appendLe16(file, 1); // one image
    file.append(char(kSize));
    file.append(char(kSize));
    file.append(char(0)); // colour count
    file.append(char(0)); // reserved
    appendLe16(file, quint16(hotX));
    appendLe16(file, quint16(hotY));
    appendLe32(file, quint32(image.size()));
    appendLe32(file, 6 + 16);
    file.append(image);
    return file;
}

QColor background(const QWidget *widget)
{
    return widget->palette().color(widget->backgroundRole());
}

void moveMouseOver(QWidget *widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

QWidget *control(Form1 &w, const QString &name)
{
    if (name == QLatin1String("Form1"))
        return &w;
    // Lists take the mouse on their viewport.
    if (auto *list = w.findChild<ListView *>(name))
        return list->viewport();
    return w.findChild<QWidget *>(name);
}

QString reportText(const QString &description, int step)
{
    return description + QStringLiteral("\r\n") + Procedure::Form_Load + QStringLiteral("at line ")
        + QString::number(step) + QStringLiteral("\r\rPlease email screenshot of this message to ")
        + AppInfo::supportEmail();
}

} // namespace

class TestLookAndFeel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void withoutSkinTheWindowStaysWhite_data();
    void withoutSkinTheWindowStaysWhite();
    void skinTurnsBackgroundsToButtonFaceThenCallsEngine();
    void rejectedSkinIsReportedAndColoursStay();

    void skinEngineLoadsUtf8StyleSheet();
    void skinEngineRefusesMissingFile();
    void skinEngineNeedsOptionBit();
    void skinEngineWithoutNewControlsStylesOnlyPresentControls_data();
    void skinEngineWithoutNewControlsStylesOnlyPresentControls();

    void fileExistsAnswers_data();
    void fileExistsAnswers();

    void cursorFileBecomesMouseIcon_data();
    void cursorFileBecomesMouseIcon();
    void missingCursorFileLeavesArrow();
    void unreadableCursorFileIsReported_data();
    void unreadableCursorFileIsReported();

    void mouseMoveSetsPointer_data();
    void mouseMoveSetsPointer();
    void handOverButtonArrowOverList();
    void everyPartOfAListResetsPointer_data();
    void everyPartOfAListResetsPointer();

    void optionsFrameIsPlainWithVisibleBorder_data();
    void optionsFrameIsPlainWithVisibleBorder();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString skinPath() const { return m_dir->filePath(QStringLiteral("x/o.cjs")); }
    QString cursorPath() const { return m_dir->filePath(QStringLiteral("HAND-M.CUR")); }
};

void TestLookAndFeel::initTestCase()
{
    // A button face that cannot be mistaken for white.
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Button, kButtonFace);
    QApplication::setPalette(pal);
}

void TestLookAndFeel::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLookAndFeel::withoutSkinTheWindowStaysWhite_data()
{
    QTest::addColumn<bool>("folderInstead");
    QTest::newRow("no skin file") << false;
    QTest::newRow("folder named like the skin") << true;
}

void TestLookAndFeel::withoutSkinTheWindowStaysWhite()
{
    QFETCH(bool, folderInstead);
    if (folderInstead)
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("x/o.cjs")));
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();

    for (const QWidget *widget :
         {static_cast<QWidget *>(&w), static_cast<QWidget *>(w.Frame1), static_cast<QWidget *>(w.Check1),
          static_cast<QWidget *>(w.Check2), static_cast<QWidget *>(w.Check3)})
        QVERIFY2(background(widget) == QColor(Qt::white), qPrintable(widget->objectName()));
    QVERIFY(w.SkinFramework1.operations().isEmpty());
    QVERIFY(w.styleSheet().isEmpty());
    QVERIFY(p.messages.isEmpty());
}

void TestLookAndFeel::skinTurnsBackgroundsToButtonFaceThenCallsEngine()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("x")));
    const QByteArray sheet = "QPushButton { font-style: italic; } /* ünïcode */";
    QVERIFY(writeFile(skinPath(), sheet));
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();

    QVERIFY(p.messages.isEmpty());
    for (const QWidget *widget :
         {static_cast<QWidget *>(&w), static_cast<QWidget *>(w.Frame1), static_cast<QWidget *>(w.Check1),
          static_cast<QWidget *>(w.Check2), static_cast<QWidget *>(w.Check3)})
        QCOMPARE(background(widget), kButtonFace);
    // Buttons and lists get no colour of their own.
    QVERIFY(!w.PushButton5->testAttribute(Qt::WA_SetPalette));
    QVERIFY(!w.ListView1->testAttribute(Qt::WA_SetPalette));

    const QString file = QDir::toNativeSeparators(skinPath());
    QCOMPARE(
        w.SkinFramework1.operations(),
        (QStringList{QStringLiteral("LoadSkin(%1, )").arg(file), QStringLiteral("SetApplicationOptions(1)"),
                     QStringLiteral("SetApplyToNewControls(true)"), QStringLiteral("SetApplyToPopups(true)"),
                     QStringLiteral("ApplyWindow(Form1)")}));
    QCOMPARE(w.styleSheet(), QString::fromUtf8(sheet));
}

void TestLookAndFeel::rejectedSkinIsReportedAndColoursStay()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("x")));
    QVERIFY(writeFile(skinPath(), QByteArray("QWidget { color: red; } \xff\xfe\x80")));
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();

    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text, reportText(QStringLiteral("The skin file is not UTF-8 text"), 102));
    QCOMPARE(p.messages[0].style, 48);
    // The colours were set before the engine refused, and stay.
    QCOMPARE(background(&w), kButtonFace);
    QCOMPARE(background(w.Check2), kButtonFace);
    QCOMPARE(w.SkinFramework1.operations().size(), 1);
    QVERIFY(w.styleSheet().isEmpty());
    // Start-up carried on.
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillory"));
    QCOMPARE(w.ListView1->ColumnHeaders.Count(), 1);
}

void TestLookAndFeel::skinEngineLoadsUtf8StyleSheet()
{
    const QString sheet = QStringLiteral("QLabel { color: #123456; } /* \u00e9 */");
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("skin.qss")), sheet.toUtf8()));
    SkinEngine engine;
    engine.LoadSkin(m_dir->filePath(QStringLiteral("skin.qss")), QString());
    QVERIFY(engine.isLoaded());
    QCOMPARE(engine.styleSheet(), sheet);

    // An empty file is a valid, empty skin.
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("empty.qss")), QByteArray()));
    SkinEngine empty;
    empty.LoadSkin(m_dir->filePath(QStringLiteral("empty.qss")), QString());
    QVERIFY(empty.isLoaded());
}

void TestLookAndFeel::skinEngineRefusesMissingFile()
{
    SkinEngine engine;
    try {
        engine.LoadSkin(m_dir->filePath(QStringLiteral("none.qss")), QString());
        QFAIL("a missing skin file was accepted");
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), QStringLiteral("File not found"));
    }
    QVERIFY(!engine.isLoaded());
    QWidget window;
    QVERIFY_THROWS_EXCEPTION(Failure, engine.ApplyWindow(&window));
}

void TestLookAndFeel::skinEngineNeedsOptionBit()
{
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("s.qss")), "QWidget { color: red; }"));
    SkinEngine engine;
    engine.LoadSkin(m_dir->filePath(QStringLiteral("s.qss")), QString());
    engine.SetApplyToNewControls(true);
    QWidget window;
    engine.SetApplicationOptions(2);
    engine.ApplyWindow(&window);
    QVERIFY(window.styleSheet().isEmpty());
    engine.SetApplicationOptions(engine.ApplicationOptions() | 1);
    engine.ApplyWindow(&window);
    QCOMPARE(window.styleSheet(), QStringLiteral("QWidget { color: red; }"));
}

void TestLookAndFeel::skinEngineWithoutNewControlsStylesOnlyPresentControls_data()
{
    QTest::addColumn<bool>("popups");
    QTest::newRow("popups excluded") << false;
    QTest::newRow("popups included") << true;
}

void TestLookAndFeel::skinEngineWithoutNewControlsStylesOnlyPresentControls()
{
    QFETCH(bool, popups);
    const QString sheet = QStringLiteral("QPushButton { color: red; }");
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("s.qss")), sheet.toUtf8()));
    SkinEngine engine;
    engine.LoadSkin(m_dir->filePath(QStringLiteral("s.qss")), QString());
    engine.SetApplicationOptions(1);
    engine.SetApplyToNewControls(false);
    engine.SetApplyToPopups(popups);

    QWidget window;
    auto *present = new QPushButton(&window);
    auto *menu = new QMenu(&window);
    auto *inMenu = new QWidget(menu);
    engine.ApplyWindow(&window);
    auto *later = new QPushButton(&window);

    QVERIFY(window.styleSheet().isEmpty());
    QCOMPARE(present->styleSheet(), sheet);
    QVERIFY(later->styleSheet().isEmpty());
    QCOMPARE(menu->styleSheet().isEmpty(), !popups);
    QCOMPARE(inMenu->styleSheet().isEmpty(), !popups);
}

void TestLookAndFeel::fileExistsAnswers_data()
{
    QTest::addColumn<QString>("relative"); // under the temporary folder; "-" for the empty name
    QTest::addColumn<bool>("exists");
    QTest::newRow("empty name") << QStringLiteral("-") << false;
    QTest::newRow("folder that does not exist") << QStringLiteral("nowhere/file.txt") << false;
    QTest::newRow("missing file") << QStringLiteral("missing.txt") << false;
    QTest::newRow("existing file") << QStringLiteral("here.txt") << true;
}

void TestLookAndFeel::fileExistsAnswers()
{
    QFETCH(QString, relative);
    QFETCH(bool, exists);
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("here.txt")), "1"));
    const QString name = relative == QLatin1String("-") ? QString() : m_dir->filePath(relative);
    QCOMPARE(FileExists(name), exists);
}

void TestLookAndFeel::cursorFileBecomesMouseIcon_data()
{
    QTest::addColumn<int>("hotX");
    QTest::addColumn<int>("hotY");
    QTest::newRow("top left") << 0 << 0;
    QTest::newRow("finger tip") << 5 << 9;
    QTest::newRow("bottom right") << 31 << 31;
}

void TestLookAndFeel::cursorFileBecomesMouseIcon()
{
    QFETCH(int, hotX);
    QFETCH(int, hotY);
    QVERIFY(writeFile(cursorPath(), makeCursorFile(hotX, hotY)));
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    QVERIFY(!w.HasMouseIcon);
    w.Form_Load();

    QVERIFY(p.messages.isEmpty());
    QVERIFY(w.HasMouseIcon);
    QCOMPARE(w.MouseIcon.shape(), Qt::BitmapCursor);
    QCOMPARE(w.MouseIcon.hotSpot(), QPoint(hotX, hotY));
    const QImage image = w.MouseIcon.pixmap().toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    QCOMPARE(image.pixelColor(3, 3), QColor(Qt::red));
    QCOMPARE(image.pixelColor(3, 28), QColor(Qt::blue));
}

void TestLookAndFeel::missingCursorFileLeavesArrow()
{
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();
    QVERIFY(p.messages.isEmpty());
    QVERIFY(!w.HasMouseIcon);
    moveMouseOver(w.PushButton5);
    QCOMPARE(w.MousePointer(), Pointer::Custom);
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
}

void TestLookAndFeel::unreadableCursorFileIsReported_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray wrongType = makeCursorFile(1, 1);
    wrongType[2] = 3;
    QByteArray brokenImage = makeCursorFile(1, 1);
    brokenImage.truncate(30);
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("text") << QByteArray("this is not a cursor\r\n");
    QTest::newRow("unknown resource type") << wrongType;
    QTest::newRow("image cut short") << brokenImage;
}

void TestLookAndFeel::unreadableCursorFileIsReported()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(writeFile(cursorPath(), bytes));
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();

    QCOMPARE(p.messages.size(), 1);
    QCOMPARE(p.messages[0].text, reportText(QStringLiteral("Invalid picture"), 110));
    QVERIFY(!w.HasMouseIcon);
    QCOMPARE(w.ListView2->ColumnHeaders.Count(), 1); // start-up went on
}

void TestLookAndFeel::mouseMoveSetsPointer_data()
{
    QTest::addColumn<QString>("over");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");

    for (const char *button : {"PushButton1", "PushButton5", "PushButton13", "PushButton17"}) {
        QTest::addRow("%s from arrow", button) << QString::fromLatin1(button) << 0 << 99;
        QTest::addRow("%s keeps hand", button) << QString::fromLatin1(button) << 99 << 99;
        QTest::addRow("%s keeps hourglass", button) << QString::fromLatin1(button) << 11 << 11;
    }
    for (const char *resetter : {"Form1", "Frame1", "ListView1", "ListView2", "ListView3"}) {
        QTest::addRow("%s from hand", resetter) << QString::fromLatin1(resetter) << 99 << 0;
        QTest::addRow("%s keeps arrow", resetter) << QString::fromLatin1(resetter) << 0 << 0;
        QTest::addRow("%s keeps hourglass", resetter) << QString::fromLatin1(resetter) << 11 << 11;
    }
    // The option boxes have no pointer handler: the hand stays.
    QTest::newRow("Check1 keeps hand") << QStringLiteral("Check1") << 99 << 99;
    QTest::newRow("Check3 keeps arrow") << QStringLiteral("Check3") << 0 << 0;
}

void TestLookAndFeel::mouseMoveSetsPointer()
{
    QFETCH(QString, over);
    QFETCH(int, before);
    QFETCH(int, after);
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();
    QWidget *target = control(w, over);
    QVERIFY(target);
    w.SetMousePointer(before);
    moveMouseOver(target);
    QCOMPARE(w.MousePointer(), after);
}

void TestLookAndFeel::handOverButtonArrowOverList()
{
    QVERIFY(writeFile(cursorPath(), makeCursorFile(6, 2)));
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();
    QVERIFY(w.HasMouseIcon);

    moveMouseOver(w.PushButton5);
    QCOMPARE(w.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(w.cursor().hotSpot(), QPoint(6, 2));
    moveMouseOver(w.ListView1->viewport());
    QCOMPARE(w.MousePointer(), Pointer::Default);
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
}

void TestLookAndFeel::everyPartOfAListResetsPointer_data()
{
    QTest::addColumn<QString>("part");
    for (const char *part : {"header", "vertical scroll bar", "horizontal scroll bar", "list frame"})
        QTest::newRow(part) << QString::fromLatin1(part);
}

void TestLookAndFeel::everyPartOfAListResetsPointer()
{
    QFETCH(QString, part);
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();
    for (int i = 0; i < 500; ++i)
        w.ListView1->ListItems.Add(QStringLiteral("555-1234"));
    w.ListView1->ColumnHeaders.Item(1).SetWidth(15000); // widened by the user
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    ListView *list = w.ListView1;
    QVERIFY(list->verticalScrollBar()->isVisible());
    QVERIFY(list->horizontalScrollBar()->isVisible());

    QWidget *target = list;
    QPoint at(1, list->height() / 2); // the list's own border
    if (part == QLatin1String("header")) {
        target = list->header()->viewport();
        at = QPoint(30, target->height() / 2);
    } else if (part == QLatin1String("vertical scroll bar")) {
        target = list->verticalScrollBar();
        at = QPoint(target->width() / 2, target->height() / 2);
    } else if (part == QLatin1String("horizontal scroll bar")) {
        target = list->horizontalScrollBar();
        at = QPoint(target->width() / 2, target->height() / 2);
    }
    // Through the window, as the pointer would go from a button.
    QTest::mouseMove(w.PushButton5, w.PushButton5->rect().center());
    QTRY_COMPARE(w.MousePointer(), Pointer::Custom);
    QTest::mouseMove(target, at);
    QTRY_COMPARE(w.MousePointer(), Pointer::Default);
}

void TestLookAndFeel::optionsFrameIsPlainWithVisibleBorder_data()
{
    QTest::addColumn<bool>("skin");
    QTest::newRow("no skin") << false;
    QTest::newRow("skin") << true;
}

void TestLookAndFeel::optionsFrameIsPlainWithVisibleBorder()
{
    QFETCH(bool, skin);
    if (skin) {
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("x")));
        QVERIFY(writeFile(skinPath(), "QPushButton { font-style: italic; }"));
    }
    FakePlatform p;
    p.programFolder = m_dir->path();
    Form1 w(p);
    w.Form_Load();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QColor fill = skin ? kButtonFace : QColor(Qt::white);
    const QImage image = w.grab().toImage();
    const QRect frame = w.Frame1->geometry();
    const QRect box1 = w.Check1->geometry().translated(frame.topLeft());
    const QRect box3 = w.Check3->geometry().translated(frame.topLeft());

    // Inside the frame, between the boxes and beside them: the plain fill.
    for (const QPoint at :
         {QPoint(frame.left() + 8, box1.bottom() + 3), QPoint(box1.center().x(), box1.bottom() + 3),
          QPoint(frame.right() - 4, box3.center().y()), QPoint(box3.center().x(), frame.bottom() - 4)})
        QVERIFY2(image.pixelColor(at) == fill,
                 qPrintable(
                     QStringLiteral("%1,%2 is %3").arg(at.x()).arg(at.y()).arg(image.pixelColor(at).name())));
    // The top border shows above the first box, right of the title.
    const int x = frame.left() + frame.width() * 3 / 4;
    int line = frame.top();
    while (line < box1.top() && image.pixelColor(x, line) == fill)
        ++line;
    QVERIFY(line < box1.top());
    // And the boxes do not paint over it.
    for (int y = box1.top(); y <= box1.bottom(); ++y)
        QCOMPARE(image.pixelColor(x, y), fill);

    // The title's glyphs above the line, left of the frame's middle; the
    // line leaves the fill on both sides of them.
    int titleLeft = frame.right();
    int titleRight = frame.left();
    for (int y = frame.top(); y < line; ++y) {
        for (int tx = frame.left() + 2; tx < frame.center().x(); ++tx) {
            if (image.pixelColor(tx, y) != fill) {
                titleLeft = std::min(titleLeft, tx);
                titleRight = std::max(titleRight, tx);
            }
        }
    }
    QVERIFY2(titleLeft < titleRight, "no title above the line");
    for (const int gap : {titleLeft - 2, titleLeft - 1, titleRight + 1, titleRight + 2})
        QVERIFY2(image.pixelColor(gap, line) == fill,
                 qPrintable(QStringLiteral("the line reaches the title at %1,%2").arg(gap).arg(line)));
    QVERIFY(image.pixelColor(frame.left() + 1, line) != fill); // from the corner
    QVERIFY(image.pixelColor(titleRight + 12, line) != fill);  // and on beyond the title
}

QTEST_MAIN(TestLookAndFeel)
#include "tst_lookandfeel.moc"
