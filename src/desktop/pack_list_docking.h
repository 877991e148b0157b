#pragma once

#include <QRect>
#include <QtGlobal>

// The magnet that snaps the pack list window to a side of the main window, without a
// window: rectangles in twips, held and compared in single precision, so that every
// sum rounds as the constants were fitted.

struct DockRect {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
    bool operator==(const DockRect&) const = default;
};

// The sides the pack list window was snapped to; while any is set it travels with the
// main window.
struct DockedFlags {
    bool top = false;
    bool bottom = false;
    bool left = false;
    bool right = false;
    bool any() const { return top || bottom || left || right; }
    bool operator==(const DockedFlags&) const = default;
    // As stored: 1 top, 2 bottom, 4 left, 8 right.
    int bits() const;
    static DockedFlags fromBits(int bits);
};

class PackListDocking {
public:
    // The vertical correction of the snap after a drag (the desktop theme's; 0 here).
    explicit PackListDocking(qint16 dockOffset = 0) : m_dockOffset(dockOffset) {}

    const DockedFlags& flags() const { return m_flags; }
    bool travelsWithMain() const { return m_flags.any(); }

    // A press on the pack list window's drag handle frees it.
    void release() { m_flags = {}; }
    // A restart of docked windows: the sides they were snapped to.
    void restore(const DockedFlags& flags) { m_flags = flags; }
    // The snap after a drag: `list` when the magnet is off, else where it snaps.
    DockRect ActivateMagnet(const DockRect& main, const DockRect& list, bool magnetOn);
    // The snap on demand: every side again, with no theme correction.
    DockRect MagnetisePackList(const DockRect& main, const DockRect& list);

private:
    DockRect snap(const DockRect& main, DockRect list, float offset, float rightReach);

    qint16 m_dockOffset;
    DockedFlags m_flags;
};

// The constants were fitted to windows with a classic dialog frame (3 pixels) and
// caption (18 pixels) outside their outlines. The frameless windows here are their
// client areas, so their docking rectangle adds that frame back and takes it off again.
DockRect dockRectOf(const QRect& clientGeometry);
QPoint clientPositionOf(const DockRect& dockRect);
