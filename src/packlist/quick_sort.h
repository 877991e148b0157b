#pragma once

#include <QString>
#include <QStringList>

// The pack list's own quicksort: names compare by their 16-bit character codes
// (case-sensitive), the companion texts move with their names, and equal names may
// change places. Its order for equal names is part of how the list behaves, so it is
// kept instead of std::sort.
void SortAscending(QStringList& names, QStringList& companions, int lo, int hi);
void SortDescending(QStringList& names, QStringList& companions, int lo, int hi);
