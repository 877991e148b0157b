#pragma once

#include <QList>
#include <QStringList>

// Texts in the order people read them: digits by their number ("part2" before
// "part10"), letters without case, in the user's locale. Texts that collate the same
// fall back to their character codes, so "A.mpg" comes before "a.mpg". Descending is
// the exact reverse.
QList<qsizetype> naturalOrder(const QStringList& texts, bool ascending = true);
QStringList naturallySorted(const QStringList& texts);
