#include "desktop/window_places.h"

#include <algorithm>

namespace {

int overlapArea(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : common.width() * common.height();
}

int placedCoordinate(int start, int length, int areaStart, int areaLength) {
    const int latest = areaStart + std::max(0, areaLength - length);
    return std::clamp(start, areaStart, latest);
}

}  // namespace

QPoint placedOnScreens(const QRect& window, const QList<QRect>& screens) {
    if (screens.isEmpty()) {
        return window.topLeft();
    }
    const auto most =
        std::max_element(screens.begin(), screens.end(), [&](const QRect& a, const QRect& b) {
            return overlapArea(window, a) < overlapArea(window, b);
        });
    const QRect area = overlapArea(window, *most) > 0 ? *most : screens.first();
    return {placedCoordinate(window.x(), window.width(), area.x(), area.width()),
            placedCoordinate(window.y(), window.height(), area.y(), area.height())};
}

QPoint packListStart(const QRect& list, const QRect& main, const QRect& guarded,
                     const QList<QRect>& screens) {
    const QList<QPoint> candidates{list.topLeft(),
                                   {main.right() + 1, main.top()},
                                   {main.left() - list.width(), main.top()},
                                   {main.left(), main.bottom() + 1}};
    for (const QPoint& wanted : candidates) {
        const QPoint placed = placedOnScreens(QRect(wanted, list.size()), screens);
        if (!QRect(placed, list.size()).intersects(guarded)) {
            return placed;
        }
    }
    return placedOnScreens(QRect(candidates.at(1), list.size()), screens);
}
