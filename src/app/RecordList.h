#pragma once
// An owning list of records addressed by index, the shape in which the book, the
// undo snapshots and the clipboard hold sections and phrases.

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

template <typename T>
class CRecordList {
public:
    int GetCount() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    T* GetAt(int index) const { return (index >= 0 && index < GetCount()) ? m_items[static_cast<size_t>(index)].get() : nullptr; }
    T* GetHead() const { return GetAt(0); }
    T* GetTail() const { return GetAt(GetCount() - 1); }
    T* Add(std::unique_ptr<T> item) { m_items.push_back(std::move(item)); return m_items.back().get(); }
    T* InsertAt(int index, std::unique_ptr<T> item) {
        if (index < 0) index = 0;
        if (index > GetCount()) index = GetCount();
        return m_items.insert(m_items.begin() + index, std::move(item))->get();
    }
    // Hands the record to the caller; null when the index is out of range.
    std::unique_ptr<T> RemoveAt(int index) {
        if (index < 0 || index >= GetCount()) return nullptr;
        std::unique_ptr<T> item = std::move(m_items[static_cast<size_t>(index)]);
        m_items.erase(m_items.begin() + index);
        return item;
    }
    // Deletes the records head first, as the owners do.
    void RemoveAll() {
        for (auto& item : m_items) item.reset();
        m_items.clear();
    }
    int IndexOf(const T* item) const {
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i].get() == item) return static_cast<int>(i);
        return -1;
    }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    CRecordList() = default;
    CRecordList(const CRecordList&) = delete;
    CRecordList& operator=(const CRecordList&) = delete;
    CRecordList(CRecordList&&) = default;
    CRecordList& operator=(CRecordList&&) = default;
    ~CRecordList() { RemoveAll(); }

private:
    std::vector<std::unique_ptr<T>> m_items;
};
