#include "formats/part_traits.h"

#include "core/text_helpers.h"

namespace {

QString shownValue(const PartTraits& traits, qsizetype at) {
    const QString shown = traits.value(at).shown;
    return shown.isEmpty() ? QStringLiteral("nothing") : shown;
}

}  // namespace

QString differenceLine(const QStringList& paths, const QList<PartTraits>& traits) {
    const PartTraits& first = traits.value(0);
    for (qsizetype i = 1; i < traits.size() && i < paths.size(); ++i) {
        const PartTraits& part = traits.at(i);
        for (qsizetype t = 0; t < std::max(part.size(), first.size()); ++t) {
            if (!(part.value(t) == first.value(t))) {
                return namePart(paths.at(i)) + QStringLiteral(": ") + shownValue(part, t) +
                       QStringLiteral("; ") + namePart(paths.first()) + QStringLiteral(": ") +
                       shownValue(first, t);
            }
        }
    }
    return QString();
}

PartTrait partKind(const QString& kind) {
    return {kind, kind.toUtf8()};
}

PartTraits mpegVideoTraits(int width, int height, const QString& rate) {
    const QString shown = QStringLiteral("%1x%2 %3 fps").arg(width).arg(height).arg(rate);
    return {partKind(QStringLiteral("MPEG-1/2")), {shown, shown.toUtf8()}};
}
