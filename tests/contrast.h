#pragma once

// Contrast of rendered pixels, as the WCAG defines it (1:1 to 21:1).

#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>
#include <cmath>

inline double relativeLuminance(const QColor &c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

inline double contrast(const QColor &a, const QColor &b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast any pixel of the area has with `background`.
inline double bestContrast(const QImage &image, const QRect &area, const QColor &background)
{
    double best = 1;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            best = std::max(best, contrast(image.pixelColor(x, y), background));
    return best;
}
