#pragma once

// Frames on whole screen pixels. At a fractional scale factor (1.25, 1.5) a
// one-pixel line of a frame falls between two screen pixels: the style puts
// it on a pixel just outside what the widget paints, or on one its children
// paint over, and that side of the frame is gone. These draw the frame on
// the outermost pixels the widget really paints.

#include <QProxyStyle>

#include <functional>

// Runs `draw` with a rectangle to draw the frame of `rect` in. Where `rect`
// does not fall on whole screen pixels, the painter is switched to screen
// pixels (times the whole part of the scale, for the line's width) and the
// rectangle is the pixels the widget paints; otherwise it is `rect`.
void paintOnWholePixels(QPainter *painter, const QRect &rect, const std::function<void(const QRect &)> &draw);

// The application's style, but a frame (PE_Frame) lies on whole pixels.
class WholePixelFrameStyle final : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override;
};
