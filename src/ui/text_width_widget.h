#pragma once

#include <QWidget>

#include "core/text_helpers.h"

// Measures texts in twips (15 per pixel) with a widget's font, for fitPathToWidth and the
// pack list's widest-name bookkeeping.
inline TextWidthFn twipsOf(const QWidget* widget) {
    return [widget](const QString& text) {
        return widget->fontMetrics().horizontalAdvance(text) * 15;
    };
}
