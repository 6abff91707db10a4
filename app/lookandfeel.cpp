#include "app/lookandfeel.h"
#include "app/form1.h"
#include "app/list/wholepixelframestyle.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleOptionComplex>
#include <QtEndian>

namespace {

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette pal = widget->palette();
    pal.setColor(widget->backgroundRole(), colour);
    // Captions drawn on it stay readable under a dark colour theme.
    pal.setColor(QPalette::WindowText, colour.lightnessF() > 0.5 ? Qt::black : Qt::white);
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

bool takesButtonFace(const QWidget *control)
{
    return qobject_cast<const QCheckBox *>(control) || qobject_cast<const QRadioButton *>(control)
        || qobject_cast<const QGroupBox *>(control) || qobject_cast<const QLabel *>(control);
}

// Draws a group box as a plain line round its area, the top line at the
// height of the title's middle and stopping short of it on both sides, and
// leaves the inside to the box's own background: the style's shaded panel
// would tint the frame and sit lower than the window's layout expects.
class PlainFrameStyle final : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_FrameGroupBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // Filled, not stroked: a pen's line is centred on the rectangle's
        // edge and loses half its width outside the box at larger scales.
        const QColor line = option->palette.color(QPalette::Mid);
        paintOnWholePixels(painter, option->rect, [&](const QRect &r) {
            painter->fillRect(QRect(r.left(), r.top(), r.width(), 1), line);
            painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), line);
            painter->fillRect(QRect(r.left(), r.top(), 1, r.height()), line);
            painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), line);
        });
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
        if (control != CC_GroupBox || !box || !(box->subControls & SC_GroupBoxFrame)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        QStyleOptionFrame frame;
        frame.QStyleOption::operator=(*box);
        frame.features = box->features;
        frame.lineWidth = box->lineWidth;
        frame.midLineWidth = box->midLineWidth;
        frame.rect = proxy()->subControlRect(CC_GroupBox, box, SC_GroupBoxFrame, widget);
        // The base style runs the line straight through the title: leave the
        // title out of it, as a group box does.
        QRegion lineArea(box->rect);
        if (!box->text.isEmpty() && (box->subControls & SC_GroupBoxLabel)) {
            const QRect label = proxy()->subControlRect(CC_GroupBox, box, SC_GroupBoxLabel, widget);
            const QRect text =
                proxy()->itemTextRect(box->fontMetrics, label, Qt::AlignLeft | int(box->textAlignment),
                                      box->state & State_Enabled, box->text);
            // A space's width of background on each side of the title.
            const int gap = box->fontMetrics.horizontalAdvance(QLatin1Char(' '));
            lineArea -= text.adjusted(-gap, 0, gap, 0);
        }
        painter->save();
        painter->setClipRegion(lineArea, Qt::IntersectClip);
        proxy()->drawPrimitive(PE_FrameGroupBox, &frame, painter, widget);
        painter->restore();

        QStyleOptionGroupBox rest(*box);
        rest.subControls &= ~SC_GroupBoxFrame;
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl sub,
                         const QWidget *widget) const override
    {
        QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
        if (control == CC_GroupBox && sub == SC_GroupBoxLabel)
            rect.translate(6, 0); // clear of the frame's corner
        if (control == CC_GroupBox && sub == SC_GroupBoxFrame) {
            const QRect label = QProxyStyle::subControlRect(control, option, SC_GroupBoxLabel, widget);
            if (label.isValid())
                rect.setTop(label.center().y());
        }
        return rect;
    }
};

quint16 le16(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

} // namespace

void UsePlainFrame(QGroupBox *frame)
{
    auto *style = new PlainFrameStyle;
    style->setParent(frame);
    frame->setStyle(style);
}

void Form1::ApplySkin()
{
    const QString skinFile = platform().ProgramFolder() + QDir::separator() + QStringLiteral("x")
        + QDir::separator() + QStringLiteral("o.cjs");
    // Only an ordinary file counts: a folder of that name means no skin.
    if (!QFileInfo(skinFile).isFile())
        return;

    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    setBackground(this, buttonFace);
    const QList<QWidget *> controls = findChildren<QWidget *>();
    for (QWidget *control : controls) {
        if (takesButtonFace(control))
            setBackground(control, buttonFace);
    }

    SkinFramework1.LoadSkin(skinFile, QString());
    SkinFramework1.SetApplicationOptions(SkinFramework1.ApplicationOptions() | 1);
    SkinFramework1.SetApplyToNewControls(true);
    SkinFramework1.SetApplyToPopups(true);
    SkinFramework1.ApplyWindow(this);
}

void Form1::LoadMouseIcon(const QString &fileName)
{
    // A folder or a device of that name is named as such; a pipe is never
    // opened, as opening one waits for a writer.
    const QFileInfo info(fileName);
    if (info.isDir())
        throw Failure(QStringLiteral("Is a directory: ") + QDir::toNativeSeparators(fileName));
    if (info.exists() && !info.isFile())
        throw Failure(QStringLiteral("Not a regular file: ") + QDir::toNativeSeparators(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.exists() ? QStringLiteral("Permission denied") : QStringLiteral("File not found"));
    QByteArray bytes = file.read(16 * 1024 * 1024); // far beyond any real cursor
    file.close();

    // ICONDIR (6 bytes) then one 16-byte ICONDIRENTRY per image. A cursor
    // (type 2) keeps its hot spot where an icon keeps planes and bit count.
    constexpr qsizetype kDirSize = 6;
    constexpr qsizetype kEntrySize = 16;
    if (bytes.size() < kDirSize + kEntrySize)
        throw Failure(QStringLiteral("Invalid picture"));
    const quint16 reserved = le16(bytes, 0);
    const quint16 type = le16(bytes, 2);
    const quint16 count = le16(bytes, 4);
    if (reserved != 0 || (type != 1 && type != 2) || count == 0)
        throw Failure(QStringLiteral("Invalid picture"));

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, type == 2 ? QByteArrayLiteral("cur") : QByteArrayLiteral("ico"));
    const QImage image = reader.read();
    if (image.isNull())
        throw Failure(QStringLiteral("Invalid picture"));

    int hotX = image.width() / 2; // an icon has no hot spot: its centre
    int hotY = image.height() / 2;
    if (type == 2) {
        hotX = qBound(0, int(le16(bytes, kDirSize + 4)), image.width() - 1);
        hotY = qBound(0, int(le16(bytes, kDirSize + 6)), image.height() - 1);
    }
    MouseIcon = QCursor(QPixmap::fromImage(image), hotX, hotY);
    HasMouseIcon = true;
    if (MousePointer() == Pointer::Custom)
        SetMousePointer(Pointer::Custom); // show the new image at once
}

void Form1::PushButton_MouseMove()
{
    // Mouse moves come often: set the pointer only when it changes.
    const int pointer = MousePointer();
    if (pointer == Pointer::Hourglass || pointer == Pointer::Custom)
        return;
    SetMousePointer(Pointer::Custom);
}

void Form1::ResetPointer_MouseMove()
{
    const int pointer = MousePointer();
    if (pointer == Pointer::Hourglass || pointer == Pointer::Default)
        return;
    SetMousePointer(Pointer::Default);
}
