#pragma once

// Tovanix::SortedPtrList<T, Order>: a growable array of element pointers in
// insertion order, plus (when sorted) an index array `order` whose entry i is
// the index in `items` of the i-th smallest element, so that elements are
// found and placed by binary search. Elements never move; only pointers and
// indexes do.
//
// Flags (set by the owner before first use; every list of the program uses
// 0x03):
//   0x01  the list owns its elements and deletes them on removal and clearing
//   0x02  keep `order` sorted
//   0x08  refuse an element equal to one already held
//
// The order comes from the `Order` policy, a type with
//   static int Compare(const T& a, const T& b)   // <0, 0, >0
// Ready-made policies:
//   ElementOrder<T>              T's own static Compare(a, b) (the default);
//                                for Tovanix::String elements, byte order
//   TextOrder<&T::name>          a String member in byte order
//   TextOrderNoCase<&T::name>    a String member without regard to case;
//   TextOrderNoCase<>            String elements without regard to case
//   KeyOrder<&T::key>            an integer member, ascending
// For example:
//   SortedPtrList<FileWriteLock, TextOrderNoCase<&FileWriteLock::path>>  per-file write locks
//   SortedPtrList<SerialPort, KeyOrder<&SerialPort::comPort>>            open ports by COM number
//   SortedPtrList<NamedROI, TextOrder<&NamedROI::name>>                  named regions
//
// Not thread-safe: each owner serialises its own list.

#include "support/String.h"

#include <cstdint>
#include <cstring>

namespace Tovanix {

template <class T>
struct ElementOrder {
    static int Compare(const T& a, const T& b) { return T::Compare(a, b); }
};

namespace detail {

// Orders elements by a String member, or String elements by themselves when
// Member is nullptr.
template <auto Member, bool FoldCase>
struct TextOrderOf {
    template <class T>
    static int Compare(const T& a, const T& b) {
        const char* x;
        const char* y;
        if constexpr (Member == nullptr) {
            x = a;
            y = b;
        } else {
            x = a.*Member;
            y = b.*Member;
        }
        return FoldCase ? String::CompareNoCase(x, y) : String::Compare(x, y);
    }
};

}  // namespace detail

template <auto Member = nullptr>
struct TextOrder : detail::TextOrderOf<Member, false> {};

template <auto Member = nullptr>
struct TextOrderNoCase : detail::TextOrderOf<Member, true> {};

template <auto Member>
struct KeyOrder {
    template <class T>
    static int Compare(const T& a, const T& b) {
        return a.*Member < b.*Member ? -1 : (b.*Member < a.*Member ? 1 : 0);
    }
};

template <class T, class Order = ElementOrder<T>>
class SortedPtrList {
public:
    static constexpr uint8_t kOwnsElements = 0x01;
    static constexpr uint8_t kSorted = 0x02;
    static constexpr uint8_t kNoDuplicates = 0x08;

    int growBy = 0;      // growth step; 0 doubles the capacity
    int capacity = 0;    // slots in items (and order)
    int count = 0;       // elements held; -1 after destruction
    T** items = nullptr; // insertion order; slots from count on are NULL
    int* order = nullptr;
    uint8_t flags = 0;

    constexpr SortedPtrList() = default;
    SortedPtrList(const SortedPtrList&) = delete;
    SortedPtrList& operator=(const SortedPtrList&) = delete;

    ~SortedPtrList() {
        RemoveAll();
        // A destroyed list reads as invalid. Written through a volatile so the
        // store survives the end of the object's lifetime.
        *const_cast<volatile int*>(&count) = -1;
    }

    bool IsSorted() const { return (flags & kSorted) != 0; }

    // The element at sorted position i (0 <= i < count) of a sorted list.
    T* SortedAt(int i) const { return items[order[i]]; }

    bool Grow(int wanted) {
        if (wanted < capacity) {
            return true;
        }
        int step = growBy;
        if (step == 0) {
            step = capacity;
        }
        if (step == 0) {
            step = 1;
        }
        if (capacity + step < wanted) {
            step = wanted - capacity;
        }
        const int newCapacity = capacity + step;
        T** newItems = new T*[newCapacity]();
        for (int i = 0; i < capacity; ++i) {
            newItems[i] = items[i];
        }
        delete[] items;
        items = newItems;
        if (IsSorted()) {
            int* newOrder = new int[newCapacity]();
            if (order) {
                std::memcpy(newOrder, order, sizeof(int) * static_cast<size_t>(count > 0 ? count : 0));
            }
            delete[] order;
            order = newOrder;
        }
        capacity = newCapacity;
        return true;
    }

    // The position in `order` just after every held element that is less
    // than or equal to `element`; `found` tells whether an equal one is held.
    int FindSortedPos(const T& element, bool& found) const {
        found = false;
        if (!IsSorted() || count <= 0) {
            return 0;
        }
        int c = Order::Compare(element, *SortedAt(count - 1));
        if (c >= 0) {
            found = c == 0;
            return count;
        }
        if (count <= 5) {
            return ScanForGreater(element, 0, count - 2, found);
        }
        int lo = 0;
        int hi = count - 1;
        int mid = count / 2;
        while (hi - lo > 3) {
            if (Order::Compare(element, *SortedAt(mid)) < 0) {
                hi = mid - 1;
            } else {
                lo = mid + 1;
            }
            mid = lo + (hi - lo) / 2;
        }
        int pos = ScanForGreater(element, lo, hi, found);
        if (!found && pos > 0) {
            found = Order::Compare(element, *SortedAt(pos - 1)) == 0;
        }
        return pos;
    }

    // False when the element is refused as a duplicate; the caller then
    // still owns it.
    bool Add(T* element) {
        Grow(count + 1);
        items[count] = element;
        if (IsSorted()) {
            bool found = false;
            const int pos = FindSortedPos(*element, found);
            if (found && (flags & kNoDuplicates)) {
                items[count] = nullptr;
                return false;
            }
            for (int i = count; i > pos; --i) {
                order[i] = order[i - 1];
            }
            order[pos] = count;
        } else if ((flags & kNoDuplicates) && FindUnsorted(*element)) {
            items[count] = nullptr;
            return false;
        }
        ++count;
        return true;
    }

    bool AddUnique(T* element) {
        if (IsSorted()) {
            bool found = false;
            FindSortedPos(*element, found);
            if (found) {
                return false;
            }
        } else if (FindUnsorted(*element)) {
            return false;
        }
        return Add(element);
    }

    // The held element equal to `key`: in a sorted list the last of the
    // equal ones, otherwise the first in insertion order. NULL when none.
    T* Find(const T& key) const {
        if (!IsSorted()) {
            return FindUnsorted(key);
        }
        bool found = false;
        const int pos = FindSortedPos(key, found);
        return found ? SortedAt(pos - 1) : nullptr;
    }

    bool RemoveAt(int index) {
        // Negative indexes are refused as well, rather than written through.
        if (index < 0 || index >= count) {
            return false;
        }
        if (flags & kOwnsElements) {
            delete items[index];
        }
        for (int i = index; i < count - 1; ++i) {
            items[i] = items[i + 1];
        }
        if (IsSorted()) {
            int out = 0;
            for (int i = 0; i < count; ++i) {
                if (order[i] == index) {
                    continue;
                }
                order[out++] = order[i] > index ? order[i] - 1 : order[i];
            }
            order[count - 1] = 0;
        }
        --count;
        items[count] = nullptr;
        return true;
    }

    void RemoveAll() {
        if ((flags & kOwnsElements) && items) {
            for (int i = 0; i < count; ++i) {
                delete items[i];
            }
        }
        delete[] items;
        delete[] order;
        items = nullptr;
        order = nullptr;
        capacity = 0;
        count = 0;
    }

private:
    // Scans sorted positions first..last for the first element greater than
    // `element`; last + 1 when there is none. Sets found on passing an equal.
    int ScanForGreater(const T& element, int first, int last, bool& found) const {
        for (int i = first; i <= last; ++i) {
            const int c = Order::Compare(element, *SortedAt(i));
            if (c < 0) {
                return i;
            }
            if (c == 0) {
                found = true;
            }
        }
        return last + 1;
    }

    T* FindUnsorted(const T& key) const {
        for (int i = 0; i < count; ++i) {
            if (Order::Compare(key, *items[i]) == 0) {
                return items[i];
            }
        }
        return nullptr;
    }
};

}  // namespace Tovanix
