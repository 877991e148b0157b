#pragma once

#include <QPoint>

#include <vector>

// The skinned windows' geometry without a widget: their outlines, the round buttons'
// face test and the screen scale. Tests check the numbers; the windows draw them.

// A rounded rectangle of an outline, right and bottom exclusive, with its corner
// ellipse's width and height.
struct RoundedRectPiece {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int ellipseWidth = 0;
    int ellipseHeight = 0;
    bool operator==(const RoundedRectPiece&) const = default;
};

// An outline: the union of its rounded rectangles and one polygon (odd-even filled).
struct WindowOutline {
    std::vector<RoundedRectPiece> roundedRects;
    std::vector<QPoint> polygon;
};

// How design pixels (96 DPI) become window pixels: v * scale * 15 / twipsPerPixel +
// offset, rounded half to even. The offsets are the platform's frame and caption; the
// frameless windows here have none.
struct OutlineTransform {
    double scaleX = 1.0;
    double scaleY = 1.0;
    double twipsPerPixelX = 15.0;
    double twipsPerPixelY = 15.0;
    int offsetX = 0;
    int offsetY = 0;
};

WindowOutline mainWindowOutline(const OutlineTransform& transform = {});
WindowOutline packListOutline(const OutlineTransform& transform = {});

// The client areas the outlines are drawn for, in design pixels.
inline constexpr int kMainClientWidth = 533;
inline constexpr int kMainClientHeight = 308;
inline constexpr int kPackListClientWidth = 315;
inline constexpr int kPackListClientHeight = 268;

// Whether a pointer at (x, y), in twips inside a round button's picture of the given
// size, is over the circular face.
bool RoundButton(double x, double y, double width, double height);

// The screen scale: logical DPI / 96 above 96 DPI, else exactly 1.
float dpiScaleFor(double logicalDpi);
