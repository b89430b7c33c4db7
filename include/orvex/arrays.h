// CStringArray and CUIntArray: growable arrays of strings and of
// pointer-sized unsigned values (a CUIntArray can hold node pointers).
#ifndef ORVEX_ARRAYS_H
#define ORVEX_ARRAYS_H

#include <orvex/cstring.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

template <typename T>
class COrvexArray {
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_items.empty(); }
    int GetUpperBound() const { return GetSize() - 1; }
    // New entries of a growing SetSize are value-initialised (empty, 0).
    void SetSize(int size) { m_items.resize(size > 0 ? static_cast<size_t>(size) : 0); }
    void RemoveAll() { m_items.clear(); }

    const T& GetAt(int index) const { return m_items[static_cast<size_t>(index)]; }
    T& ElementAt(int index) { return m_items[static_cast<size_t>(index)]; }
    void SetAt(int index, const T& value) { m_items[static_cast<size_t>(index)] = value; }
    const T& operator[](int index) const { return GetAt(index); }
    T& operator[](int index) { return ElementAt(index); }

    // Returns the index of the new entry.
    int Add(const T& value) {
        m_items.push_back(value);
        return GetSize() - 1;
    }
    // An index past the end grows the array up to it.
    void InsertAt(int index, const T& value) {
        if (index < 0) index = 0;
        if (static_cast<size_t>(index) > m_items.size()) m_items.resize(static_cast<size_t>(index));
        m_items.insert(m_items.begin() + index, value);
    }
    void RemoveAt(int index, int count = 1) {
        if (index < 0 || count <= 0 || static_cast<size_t>(index) >= m_items.size()) return;
        const size_t end = std::min(m_items.size(), static_cast<size_t>(index) + static_cast<size_t>(count));
        m_items.erase(m_items.begin() + index, m_items.begin() + static_cast<std::ptrdiff_t>(end));
    }
    void Append(const COrvexArray& other) {
        m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end());
    }
    void Copy(const COrvexArray& other) { m_items = other.m_items; }
    void Reserve(int count) { m_items.reserve(count > 0 ? static_cast<size_t>(count) : 0); }

    typename std::vector<T>::const_iterator begin() const { return m_items.begin(); }
    typename std::vector<T>::const_iterator end() const { return m_items.end(); }

private:
    std::vector<T> m_items;
};

class ORVEX_EXPORT CStringArray : public COrvexArray<CString> {};
class ORVEX_EXPORT CUIntArray : public COrvexArray<uintptr_t> {};

#endif
