#include "app/form1.h"

#include "app/list/listaccessible.h"
#include "app/lookandfeel.h"
#include "platform/appinfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>

namespace {

// Positions are kept as the designer measured them, in twips.
QRect twipRect(int left, int top, int width, int height)
{
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

QFont arialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

const char *const kListToolTip =
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.";

} // namespace

Form1::Form1(Platform &platform, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                  | Qt::WindowCloseButtonHint),
      m_platform(platform),
      m_yielder([this] {
          m_platform.ProcessEvents();
          if (m_unloading)
              throw CommandAborted{};
      })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(TwipsToPixels(15960), TwipsToPixels(5670));
    setFont(arialBold(9));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    // Readable on the white whatever the desktop's colour theme.
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    InstallListAccessibility();
    setMouseTracking(true);
    createControls();
    connectHandlers();
    connectPasteAndDrops();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    // One arena for the three lists: a result entry shares its input's text.
    auto arena = std::make_shared<TextArena>();
    auto makeList = [&](const char *name, QRect geometry) {
        auto *list = new ListView(arena, this);
        list->setObjectName(QLatin1StringView(name));
        list->setGeometry(geometry);
        list->setToolTip(QLatin1StringView(kListToolTip));
        list->setFont(arialBold(9));
        return list;
    };
    auto makeButton = [&](const char *name, const char *caption, QRect geometry) {
        auto *button = new QPushButton(QLatin1StringView(caption), this);
        button->setObjectName(QLatin1StringView(name));
        button->setGeometry(geometry);
        button->setFont(arialBold(11.25));
        button->setMouseTracking(true);
        button->setAttribute(Qt::WA_NoMousePropagation);
        button->setAutoDefault(true); // Return and keypad Enter press the focused button
        return button;
    };

    ListView1 = makeList("ListView1", twipRect(120, 630, 7800, 2055));
    ListView2 = makeList("ListView2", twipRect(8040, 120, 7800, 1635));
    ListView3 = makeList("ListView3", twipRect(8040, 2880, 7800, 1635));
    PushButton6 = makeButton("PushButton6", "Add Phone Number or Numbers", twipRect(120, 2775, 3840, 405));
    PushButton3 = makeButton("PushButton3", "Load Numbers From Text File", twipRect(4080, 2775, 3840, 405));
    PushButton1 = makeButton("PushButton1", "Clear List", twipRect(120, 3285, 3840, 405));
    PushButton17 = makeButton("PushButton17", "Start Validating", twipRect(120, 5145, 7800, 405));
    PushButton4 = makeButton("PushButton4", "Save Results As Text File", twipRect(8040, 1845, 3840, 405));
    PushButton13 = makeButton("PushButton13", "Save Results As Excel File", twipRect(12000, 1845, 3840, 405));
    PushButton2 = makeButton("PushButton2", "Clear Results", twipRect(12000, 2355, 3840, 405));
    PushButton8 = makeButton("PushButton8", "Save Results As Text File", twipRect(8040, 4620, 3840, 405));
    PushButton7 = makeButton("PushButton7", "Save Results As Excel File", twipRect(12000, 4620, 3840, 405));
    PushButton9 = makeButton("PushButton9", "Clear Results", twipRect(12000, 5145, 3840, 405));
    PushButton5 = makeButton("PushButton5", "Help", twipRect(120, 120, 7800, 405));
    PushButton10 = makeButton("PushButton10", "Copy Results To Clipboard", twipRect(8040, 2355, 3840, 405));
    PushButton11 = makeButton("PushButton11", "Copy Results To Clipboard", twipRect(8040, 5145, 3840, 405));
    PushButton12 = makeButton("PushButton12", "Load Sample/Example Numbers", twipRect(4080, 3285, 3840, 405));

    // Buttons whose captions repeat tell assistive technologies their list.
    const QString valid = QStringLiteral("Acts on the Valid Numbers list");
    const QString invalid = QStringLiteral("Acts on the Invalid Numbers list");
    for (QPushButton *button : {PushButton4, PushButton13, PushButton2, PushButton10})
        button->setAccessibleDescription(valid);
    for (QPushButton *button : {PushButton8, PushButton7, PushButton9, PushButton11})
        button->setAccessibleDescription(invalid);

    Frame1 = new QGroupBox(QStringLiteral("Options"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipRect(120, 3720, 7800, 1305));
    Frame1->setFont(arialBold(9));
    Frame1->setMouseTracking(true);
    Frame1->setAutoFillBackground(true);
    UsePlainFrame(Frame1);
    Frame1->setAttribute(Qt::WA_NoMousePropagation);
    auto makeCheck = [&](const char *name, const char *caption, QRect geometry) {
        auto *box = new QCheckBox(QLatin1StringView(caption), Frame1);
        box->setObjectName(QLatin1StringView(name));
        box->setGeometry(geometry);
        box->setFont(arialBold(9));
        // A check box fills with the button colour by default; these share
        // the window's background instead.
        box->setBackgroundRole(QPalette::Window);
        box->setAutoFillBackground(true);
        // The boxes have no pointer handler of their own: a move over them
        // must not reach the frame's.
        box->setAttribute(Qt::WA_NoMousePropagation);
        return box;
    };
    Check1 = makeCheck("Check1", "Allow 10 digit phone numbers such as 888-342-9122",
                       twipRect(240, 250, 7335, 255));
    Check2 = makeCheck("Check2", "Allow 10 digit phone numbers plus 1 such as 1-888-342-9122",
                       twipRect(240, 600, 7335, 255));
    Check3 =
        makeCheck("Check3", "Allow 7 digit phone numbers such as 342-9122", twipRect(240, 950, 7335, 255));

    const QList<QWidget *> tabOrder = {
        ListView1,    ListView2,    ListView3,    PushButton6, PushButton3, PushButton1, PushButton17,
        PushButton4,  PushButton13, PushButton2,  PushButton8, PushButton7, PushButton9, PushButton5,
        PushButton10, PushButton11, PushButton12, Frame1,      Check1,      Check2,      Check3};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void Form1::run(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const CommandAborted &) {
        // The window is closing: the command was abandoned on purpose.
    } catch (...) {
        // A handler without an error report of its own failed.
        m_platform.MsgBox(CurrentFailureDescription(), MsgBoxStyle::Exclamation, QString());
    }
}

void Form1::connectHandlers()
{
    const std::pair<QPushButton *, void (Form1::*)()> clicks[] = {
        {PushButton1, &Form1::PushButton1_Click},   {PushButton2, &Form1::PushButton2_Click},
        {PushButton3, &Form1::PushButton3_Click},   {PushButton4, &Form1::PushButton4_Click},
        {PushButton5, &Form1::PushButton5_Click},   {PushButton6, &Form1::PushButton6_Click},
        {PushButton7, &Form1::PushButton7_Click},   {PushButton8, &Form1::PushButton8_Click},
        {PushButton9, &Form1::PushButton9_Click},   {PushButton10, &Form1::PushButton10_Click},
        {PushButton11, &Form1::PushButton11_Click}, {PushButton12, &Form1::PushButton12_Click},
        {PushButton13, &Form1::PushButton13_Click}, {PushButton17, &Form1::PushButton17_Click},
    };
    for (const auto &[button, handler] : clicks) {
        connect(button, &QPushButton::clicked, this, [this, h = handler] { run([&] { (this->*h)(); }); });
        button->installEventFilter(this);
    }

    const std::pair<QCheckBox *, void (Form1::*)()> checks[] = {
        {Check1, &Form1::Check1_Click}, {Check2, &Form1::Check2_Click}, {Check3, &Form1::Check3_Click}};
    for (const auto &[box, handler] : checks)
        connect(box, &QCheckBox::stateChanged, this, [this, h = handler] { run([&] { (this->*h)(); }); });

    const std::tuple<ListView *, void (Form1::*)(int, int), void (Form1::*)()> lists[] = {
        {ListView1, &Form1::ListView1_KeyDown, &Form1::ListView1_DblClick},
        {ListView2, &Form1::ListView2_KeyDown, &Form1::ListView2_DblClick},
        {ListView3, &Form1::ListView3_KeyDown, &Form1::ListView3_DblClick},
    };
    for (const auto &[list, keyDown, dblClick] : lists) {
        connect(list, &ListView::KeyDown, this,
                [this, h = keyDown](int key, int shift) { run([&] { (this->*h)(key, shift); }); });
        connect(list, &ListView::DblClick, this, [this, h = dblClick] { run([&] { (this->*h)(); }); });
        connect(list, &ListView::MouseMove, this, [this] { ResetPointer_MouseMove(); });
    }
    Frame1->installEventFilter(this);

    // Help from anywhere in the window.
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { run([&] { PushButton5_Click(); }); });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Frame1)
            ResetPointer_MouseMove();
        else if (qobject_cast<QPushButton *>(watched))
            PushButton_MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent *event)
{
    ResetPointer_MouseMove();
    QWidget::mouseMoveEvent(event);
}

int Form1::CheckValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void Form1::SetCheckValue(QCheckBox *box, int value)
{
    switch (value) {
    case 0:
        box->setCheckState(Qt::Unchecked);
        break;
    case 1:
        box->setCheckState(Qt::Checked);
        break;
    case 2:
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        throw Failure(QStringLiteral("Invalid property value"));
    }
}

void Form1::SetMousePointer(int value)
{
    m_mousePointer = value;
    if (value == Pointer::Hourglass)
        setCursor(Qt::WaitCursor);
    else if (value == Pointer::Custom && HasMouseIcon)
        setCursor(MouseIcon);
    else
        unsetCursor();
}

void Form1::DoEvents()
{
    m_yielder.tick();
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void Form1::Form_Unload()
{
    // Ends the program at once. A command that is yielding notices on its
    // next yield and unwinds without finishing (DoEvents throws).
    m_unloading = true;
    hide();
    QCoreApplication::quit();
}

void Form1::removeSelectedEntry(ListView *list)
{
    if (IsBusy())
        return;
    if (list->ListItems.Count() == 0)
        return;
    const std::optional<ListItem> selected = list->SelectedItem();
    if (!selected)
        return; // Nothing selected: removing nothing is the safe answer.
    list->ListItems.Remove(selected->Index());
}
