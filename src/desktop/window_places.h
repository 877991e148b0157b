#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

// Where the windows start: their stored places, kept on the screens of today (a
// monitor may be gone, or smaller) and apart where it matters.

// `window` moved the least so that it lies wholly on one of `screens` (their available
// areas): the one it overlaps most, else the first. A window larger than the screen
// keeps its top left corner on it.
QPoint placedOnScreens(const QRect& window, const QList<QRect>& screens);

// The pack list's start: `list` on the screens, unless it would cover `guarded` (the
// main window's caption buttons); then beside `main`, right, left or below, whichever
// first leaves them free.
QPoint packListStart(const QRect& list, const QRect& main, const QRect& guarded,
                     const QList<QRect>& screens);
