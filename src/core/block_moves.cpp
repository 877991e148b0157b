#include "core/block_moves.h"

void moveSelectedRowsUp(int count, const std::function<bool(int)>& isSelected,
                        const std::function<void(int, int)>& swap) {
    for (int row = 1; row < count; ++row) {
        if (isSelected(row) && !isSelected(row - 1)) {
            swap(row, row - 1);
        }
    }
}

void moveSelectedRowsDown(int count, const std::function<bool(int)>& isSelected,
                          const std::function<void(int, int)>& swap) {
    for (int row = count - 2; row >= 0; --row) {
        if (isSelected(row) && !isSelected(row + 1)) {
            swap(row, row + 1);
        }
    }
}
