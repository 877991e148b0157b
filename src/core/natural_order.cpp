#include "core/natural_order.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace {

// A C or POSIX locale has no collation of its own (Qt's collator then compares codes
// and ignores numbers), so it reads as English.
QLocale collationLocale() {
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

}  // namespace

QList<qsizetype> naturalOrder(const QStringList& texts, bool ascending) {
    QCollator collator(collationLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Keys once per text: comparing keys is far cheaper than collating pairs.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(static_cast<size_t>(texts.size()));
    for (const QString& text : texts) {
        keys.push_back(collator.sortKey(text));
    }
    QList<qsizetype> order(texts.size());
    std::iota(order.begin(), order.end(), 0);
    const auto before = [&](qsizetype a, qsizetype b) {
        const int byKey = keys[static_cast<size_t>(a)].compare(keys[static_cast<size_t>(b)]);
        if (byKey != 0) {
            return byKey < 0;
        }
        return QString::compare(texts.at(a), texts.at(b), Qt::CaseSensitive) < 0;
    };
    std::stable_sort(order.begin(), order.end(), before);
    if (!ascending) {
        std::reverse(order.begin(), order.end());
    }
    return order;
}

QStringList naturallySorted(const QStringList& texts) {
    QStringList sorted;
    sorted.reserve(texts.size());
    for (const qsizetype index : naturalOrder(texts)) {
        sorted.append(texts.at(index));
    }
    return sorted;
}
