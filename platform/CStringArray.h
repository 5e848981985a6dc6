#pragma once

// CStringArray: an ordered list of texts, as the description and report
// interfaces pass them.

#include <vector>

#include "platform/CString.h"

class CStringArray {
public:
    int Add(const CString& text) {
        m_items.push_back(text);
        return static_cast<int>(m_items.size()) - 1;
    }
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_items.empty(); }
    void RemoveAll() { m_items.clear(); }
    const CString& GetAt(int index) const { return m_items.at(static_cast<size_t>(index)); }
    CString& ElementAt(int index) { return m_items.at(static_cast<size_t>(index)); }
    const CString& operator[](int index) const { return GetAt(index); }
    CString& operator[](int index) { return ElementAt(index); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<CString> m_items;
};
