#include "packlist/quick_sort.h"

namespace {

// (lo + hi) / 2 rounded to the nearest integer, halves to even.
int middleIndex(int lo, int hi) {
    const int sum = lo + hi;
    if (sum % 2 == 0) {
        return sum / 2;
    }
    const int down = (sum - 1) / 2;
    return down % 2 == 0 ? down : down + 1;
}

bool less(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

void quickSort(QStringList& names, QStringList& companions, int lo, int hi, bool ascending) {
    const QString pivot = names.at(middleIndex(lo, hi));
    const auto before = [&](const QString& a, const QString& b) {
        return ascending ? less(a, b) : less(b, a);
    };
    int i = lo;
    int j = hi;
    while (i <= j) {
        while (before(names.at(i), pivot) && i < hi) {
            ++i;
        }
        while (before(pivot, names.at(j)) && j > lo) {
            --j;
        }
        if (i <= j) {
            names.swapItemsAt(i, j);
            companions.swapItemsAt(i, j);
            ++i;
            --j;
        }
    }
    if (lo < j) {
        quickSort(names, companions, lo, j, ascending);
    }
    if (i < hi) {
        quickSort(names, companions, i, hi, ascending);
    }
}

}  // namespace

void SortAscending(QStringList& names, QStringList& companions, int lo, int hi) {
    if (lo < hi) {
        quickSort(names, companions, lo, hi, true);
    }
}

void SortDescending(QStringList& names, QStringList& companions, int lo, int hi) {
    if (lo < hi) {
        quickSort(names, companions, lo, hi, false);
    }
}
