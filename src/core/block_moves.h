#pragma once

#include <functional>

// Moving selected rows of a list by one place, as the pack list and the file-type list
// both do: a block of adjacent selected rows moves together, and a selected row that
// already sits under (or over) another selected row, or at the edge, stays.
// `swap(a, b)` exchanges rows a and b and moves the selection from the first to the second.
void moveSelectedRowsUp(int count, const std::function<bool(int)>& isSelected,
                        const std::function<void(int, int)>& swap);
void moveSelectedRowsDown(int count, const std::function<bool(int)>& isSelected,
                          const std::function<void(int, int)>& swap);
