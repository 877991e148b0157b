#include "desktop/pack_list_docking.h"

#include "core/units.h"

#include <cmath>

namespace {

constexpr int kFramePixels = 3;
constexpr int kCaptionPixels = 18;

void raise(DockRect& rect, float by) {
    rect.top = rect.top - by;
}

// The bottom side's correction, by where the window lies along the main window's
// bottom edge, whose outline steps down from left to right.
float bottomCorrection(const DockRect& list, float right) {
    const float listRight = list.left + list.width;
    if (right - 2420 <= list.left && list.left < right) {
        return 60;
    }
    if (listRight >= 0 && listRight < right - 7520) {
        return 620;
    }
    if (right - 7520 <= listRight && listRight < right - 7480) {
        return 120;
    }
    if (right - 7480 <= listRight && listRight < right - 7380) {
        return 60;
    }
    return 0;
}

}  // namespace

int DockedFlags::bits() const {
    return (top ? 1 : 0) | (bottom ? 2 : 0) | (left ? 4 : 0) | (right ? 8 : 0);
}

DockedFlags DockedFlags::fromBits(int bits) {
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

DockRect PackListDocking::ActivateMagnet(const DockRect& main, const DockRect& list,
                                         bool magnetOn) {
    if (!magnetOn) {
        return list;
    }
    return snap(main, list, static_cast<float>(m_dockOffset), 100);
}

DockRect PackListDocking::MagnetisePackList(const DockRect& main, const DockRect& list) {
    m_flags = {};
    return snap(main, list, 0, 0);
}

// Each side reads the rectangle as the sides before it left it.
DockRect PackListDocking::snap(const DockRect& main, DockRect list, float offset,
                               float rightReach) {
    const float mainBottom = main.top + main.height;
    const float right = main.left + main.width;
    if (list.top + list.height - 380 - offset < main.top && !m_flags.top) {
        list.top = main.top - main.height + 990 + offset;
        m_flags.top = true;
    }
    if (list.top + list.height + 380 >= 0 && mainBottom - offset < list.top + 380 &&
        !m_flags.bottom) {
        list.top = mainBottom - 370 - offset;
        raise(list, bottomCorrection(list, right));
        m_flags.bottom = true;
    }
    if (list.left + list.width - 100 < main.left && !m_flags.left) {
        list.left = main.left - main.width + 3360;
        if (list.top >= mainBottom - 1000 - offset) {
            list.left = list.left + 500;
        }
        m_flags.left = true;
    }
    if (right - rightReach < list.left && !m_flags.right) {
        list.left = right - 90;
        if (list.top >= mainBottom - 420 - offset) {
            list.left = list.left - 2320;
            if (right - 2420 <= list.left && list.left < right) {
                raise(list, 60);
            }
        }
        m_flags.right = true;
    }
    return list;
}

DockRect dockRectOf(const QRect& clientGeometry) {
    const QRect outer = clientGeometry.adjusted(-kFramePixels, -kFramePixels - kCaptionPixels,
                                                kFramePixels, kFramePixels);
    return {static_cast<float>(outer.left() * kTwipsPerPixel),
            static_cast<float>(outer.top() * kTwipsPerPixel),
            static_cast<float>(outer.width() * kTwipsPerPixel),
            static_cast<float>(outer.height() * kTwipsPerPixel)};
}

QPoint clientPositionOf(const DockRect& dockRect) {
    const auto pixels = [](float twips) {
        return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
    };
    return {pixels(dockRect.left) + kFramePixels,
            pixels(dockRect.top) + kFramePixels + kCaptionPixels};
}
