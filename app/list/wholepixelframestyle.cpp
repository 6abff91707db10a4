#include "app/list/wholepixelframestyle.h"

#include <QPainter>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

void paintOnWholePixels(QPainter *painter, const QRect &rect, const std::function<void(const QRect &)> &draw)
{
    const QTransform toScreen = painter->deviceTransform();
    if (!toScreen.isInvertible() || toScreen.type() > QTransform::TxScale) {
        draw(rect);
        return;
    }
    const QRectF exact = toScreen.mapRect(QRectF(rect));
    // The pixels the widget paints: its area's edges rounded to the nearest
    // pixel, as Qt rounds a widget's area when it paints.
    const QRect owned(QPoint(qRound(exact.left()), qRound(exact.top())),
                      QPoint(qRound(exact.right()) - 1, qRound(exact.bottom()) - 1));
    if (QRectF(owned) == exact || owned.isEmpty()) {
        draw(rect);
        return;
    }
    // Lines as wide as at the whole part of the scale: one pixel at 1.25 and
    // 1.5, two at 2.5.
    const int width = std::max(1, int(std::floor(std::min(toScreen.m11(), toScreen.m22()))));
    painter->save();
    painter->setWorldTransform(toScreen.inverted(), true);
    painter->translate(owned.topLeft());
    painter->scale(width, width);
    draw(QRect(0, 0, owned.width() / width, owned.height() / width));
    painter->restore();
}

void WholePixelFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                         QPainter *painter, const QWidget *widget) const
{
    const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
    if (element != PE_Frame || !frame) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    paintOnWholePixels(painter, frame->rect, [&](const QRect &rect) {
        QStyleOptionFrame onPixels(*frame);
        onPixels.rect = rect;
        QProxyStyle::drawPrimitive(element, &onPixels, painter, widget);
    });
}
