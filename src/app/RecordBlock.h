#pragma once
// Moving a block of records into or out of a record list in one pass. Cutting or
// pasting ten thousand sections one index at a time would shift the rest of the book
// ten thousand times; these shift it once.

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/RecordList.h"

// Takes `count` records from index `first` on out of `list`, in order. Out-of-range
// parts of the block are ignored.
template <typename T>
std::vector<std::unique_ptr<T>> TakeRecordBlock(CRecordList<T>& list, int first, int count) {
    const int total = list.GetCount();
    first = std::clamp(first, 0, total);
    count = std::clamp(count, 0, total - first);
    std::vector<std::unique_ptr<T>> block;
    if (count == 0) return block;
    // Only the tail end of the list is cheap to take from: park what follows the block.
    std::vector<std::unique_ptr<T>> after;
    after.reserve(static_cast<size_t>(total - first - count));
    while (list.GetCount() > first + count) after.push_back(list.RemoveAt(list.GetCount() - 1));
    block.reserve(static_cast<size_t>(count));
    while (list.GetCount() > first) block.push_back(list.RemoveAt(list.GetCount() - 1));
    std::reverse(block.begin(), block.end());
    for (auto it = after.rbegin(); it != after.rend(); ++it) list.Add(std::move(*it));
    return block;
}

// Inserts `block`, in order, before the record at index `at` (appends when `at` is past
// the end).
template <typename T>
void InsertRecordBlock(CRecordList<T>& list, int at, std::vector<std::unique_ptr<T>> block) {
    if (block.empty()) return;
    at = std::clamp(at, 0, list.GetCount());
    std::vector<std::unique_ptr<T>> after;
    after.reserve(static_cast<size_t>(list.GetCount() - at));
    while (list.GetCount() > at) after.push_back(list.RemoveAt(list.GetCount() - 1));
    for (auto& item : block) list.Add(std::move(item));
    for (auto it = after.rbegin(); it != after.rend(); ++it) list.Add(std::move(*it));
}
