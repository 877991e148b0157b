#include "desktop/window_chrome.h"

#include "core/units.h"

#include <cmath>

namespace {

class Transformer {
public:
    explicit Transformer(const OutlineTransform& t) : m_t(t) {}

    int x(int v) const { return size(v, m_t.scaleX, m_t.twipsPerPixelX) + m_t.offsetX; }
    int y(int v) const { return size(v, m_t.scaleY, m_t.twipsPerPixelY) + m_t.offsetY; }
    // Corner ellipses scale like the rest but take no offset.
    int width(int v) const { return size(v, m_t.scaleX, m_t.twipsPerPixelX); }
    int height(int v) const { return size(v, m_t.scaleY, m_t.twipsPerPixelY); }

    RoundedRectPiece rect(const RoundedRectPiece& design) const {
        return {x(design.left),
                y(design.top),
                x(design.right),
                y(design.bottom),
                width(design.ellipseWidth),
                height(design.ellipseHeight)};
    }

private:
    static int size(int v, double scale, double twipsPerPixel) {
        return static_cast<int>(roundHalfEven(v * scale * kTwipsPerPixel / twipsPerPixel));
    }

    OutlineTransform m_t;
};

WindowOutline transformed(const std::vector<RoundedRectPiece>& rects,
                          const std::vector<QPoint>& polygon, const OutlineTransform& t) {
    const Transformer to(t);
    WindowOutline outline;
    for (const RoundedRectPiece& piece : rects) {
        outline.roundedRects.push_back(to.rect(piece));
    }
    for (const QPoint& point : polygon) {
        outline.polygon.emplace_back(to.x(point.x()), to.y(point.y()));
    }
    return outline;
}

}  // namespace

WindowOutline mainWindowOutline(const OutlineTransform& transform) {
    static const std::vector<RoundedRectPiece> rects = {
        {0, 0, 129, 40, 14, 10},      {0, 220, 109, 268, 14, 12},   {435, 0, 534, 55, 18, 17},
        {438, 240, 534, 305, 14, 12}, {366, 261, 391, 309, 26, 28}, {31, 238, 153, 309, 16, 16},
    };
    static const std::vector<QPoint> polygon = {
        {79, 268}, {123, 308}, {378, 308}, {378, 304}, {519, 303}, {533, 259},
        {533, 11}, {519, 0},   {69, 0},    {0, 30},    {0, 257},
    };
    return transformed(rects, polygon, transform);
}

WindowOutline packListOutline(const OutlineTransform& transform) {
    return transformed({{0, 0, 316, 268, 14, 14}}, {}, transform);
}

bool RoundButton(double x, double y, double width, double height) {
    const auto dx = static_cast<double>(roundHalfEven(std::abs(x - width / 2)));
    const auto dy = static_cast<double>(roundHalfEven(std::abs(y - height / 2)));
    const qint64 distance = roundHalfEven(std::sqrt(dx * dx + dy * dy));
    return static_cast<double>(distance) < width / 2;
}

float dpiScaleFor(double logicalDpi) {
    return logicalDpi > 96 ? static_cast<float>((logicalDpi - 96) / 96 + 1) : 1.0F;
}
