#include "support/SortedPtrList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <string>
#include <vector>

using Tovanix::SortedPtrList;
using Tovanix::String;

namespace {

// An element with a leading name, a key and a tag that tells equal
// elements apart; counts its destructions.
struct Item {
    String name;
    int key = 0;
    int tag = 0;
    static int destroyed;
    Item(const char* n, int k = 0, int t = 0) : name(n), key(k), tag(t) {}
    ~Item() { ++destroyed; }
};
int Item::destroyed = 0;

using ByName = SortedPtrList<Item, Tovanix::TextOrder<&Item::name>>;
using ByNameNoCase = SortedPtrList<Item, Tovanix::TextOrderNoCase<&Item::name>>;
using ByKey = SortedPtrList<Item, Tovanix::KeyOrder<&Item::key>>;

template <class List>
std::vector<std::string> SortedNames(const List& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.count; ++i) {
        names.emplace_back(list.SortedAt(i)->name.c_str());
    }
    return names;
}

template <class List>
std::vector<int> SortedTags(const List& list) {
    std::vector<int> tags;
    for (int i = 0; i < list.count; ++i) {
        tags.push_back(list.SortedAt(i)->tag);
    }
    return tags;
}

// Where a plain linear search places `key` among sorted keys: after every
// key less than or equal to it.
int LinearPosition(const std::vector<int>& sortedKeys, int key) {
    int pos = 0;
    while (pos < static_cast<int>(sortedKeys.size()) && sortedKeys[pos] <= key) {
        ++pos;
    }
    return pos;
}

}  // namespace

TEST(SortedPtrListTest, EqualElementsKeepTheirInsertionOrder) {
    ByName list;
    list.flags = 0x03;
    list.Add(new Item("b", 0, 1));
    list.Add(new Item("a", 0, 2));
    list.Add(new Item("b", 0, 3));
    list.Add(new Item("c", 0, 4));
    EXPECT_EQ(SortedNames(list), (std::vector<std::string>{"a", "b", "b", "c"}));
    EXPECT_EQ(SortedTags(list), (std::vector<int>{2, 1, 3, 4}));
    bool found = false;
    EXPECT_EQ(list.FindSortedPos(Item("b"), found), 3);
    EXPECT_TRUE(found);
    EXPECT_EQ(list.FindSortedPos(Item("bb"), found), 3);
    EXPECT_FALSE(found);
    EXPECT_EQ(list.FindSortedPos(Item("0"), found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(list.FindSortedPos(Item("c"), found), 4);
    EXPECT_TRUE(found);
    for (int i = 0; i < list.count; ++i) {
        EXPECT_EQ(list.items[i]->tag, i + 1) << "items stay in insertion order";
    }
}

TEST(SortedPtrListTest, PlacementMatchesLinearSearchAcrossSizes) {
    // Small lists scan linearly, larger ones narrow down by bisection first;
    // both must place every element where a linear search would, with
    // duplicates frequent enough to exercise the equal-element rule.
    std::mt19937 random(12345);
    for (int size = 1; size <= 40; ++size) {
        for (int round = 0; round < 20; ++round) {
            ByKey list;
            list.flags = 0x03;
            std::vector<int> keys;
            std::uniform_int_distribution<int> value(0, size / 2 + 1);
            for (int i = 0; i < size; ++i) {
                const int key = value(random);
                bool found = false;
                const int pos = list.FindSortedPos(Item("", key), found);
                ASSERT_EQ(pos, LinearPosition(keys, key)) << "size " << list.count << " key " << key;
                const bool held = std::find(keys.begin(), keys.end(), key) != keys.end();
                ASSERT_EQ(found, held) << "size " << list.count << " key " << key;
                ASSERT_TRUE(list.Add(new Item("", key, i)));
                keys.insert(keys.begin() + pos, key);
            }
            for (int i = 0; i < list.count; ++i) {
                ASSERT_EQ(list.SortedAt(i)->key, keys[i]);
            }
        }
    }
}

TEST(SortedPtrListTest, FlagsOwnershipAndDuplicates) {
    Item::destroyed = 0;
    {
        ByName owning;
        owning.flags = 0x0B;  // owns, sorted, refuses duplicates
        ASSERT_TRUE(owning.Add(new Item("x")));
        Item duplicate("x");
        EXPECT_FALSE(owning.Add(&duplicate));
        EXPECT_EQ(owning.count, 1);
        EXPECT_EQ(owning.items[1], nullptr) << "the refused element's slot is cleared";
        EXPECT_EQ(Item::destroyed, 0) << "a refused element is not freed";
        ASSERT_TRUE(owning.Add(new Item("y")));
        EXPECT_TRUE(owning.RemoveAt(0));
        EXPECT_EQ(Item::destroyed, 1);
        owning.RemoveAll();
        EXPECT_EQ(Item::destroyed, 2);
        EXPECT_EQ(owning.capacity, 0);
        EXPECT_EQ(owning.items, nullptr);
        EXPECT_EQ(owning.flags, 0x0B) << "the flags stay, the list can be filled again";
        ASSERT_TRUE(owning.Add(new Item("z")));
    }
    EXPECT_EQ(Item::destroyed, 4) << "the destructor frees owned elements";

    Item::destroyed = 0;
    Item a("a"), b("b");
    {
        ByName borrowing;
        borrowing.flags = 0x02;
        borrowing.Add(&a);
        borrowing.Add(&b);
        borrowing.RemoveAt(0);
    }
    EXPECT_EQ(Item::destroyed, 0) << "without 0x01 elements are never deleted";

    ByName unsorted;
    unsorted.flags = 0x08;
    EXPECT_TRUE(unsorted.Add(&a));
    EXPECT_FALSE(unsorted.Add(&a)) << "duplicates are refused in an unsorted list too";
    EXPECT_EQ(unsorted.order, nullptr) << "an unsorted list keeps no order array";
    bool found = true;
    EXPECT_EQ(unsorted.FindSortedPos(a, found), 0);
    EXPECT_FALSE(found);
}

TEST(SortedPtrListTest, AddUniqueAndFind) {
    Item first("k", 0, 1), second("k", 0, 2), other("m", 0, 3);
    for (uint8_t flags : {uint8_t{0x02}, uint8_t{0x00}}) {
        ByName list;
        list.flags = flags;
        EXPECT_TRUE(list.AddUnique(&first));
        EXPECT_FALSE(list.AddUnique(&second));
        EXPECT_TRUE(list.AddUnique(&other));
        EXPECT_EQ(list.count, 2);
        EXPECT_TRUE(list.Add(&second));  // plain Add allows duplicates
        Item key("k");
        ASSERT_NE(list.Find(key), nullptr);
        // Sorted: the last of the equal elements; unsorted: the first held.
        EXPECT_EQ(list.Find(key)->tag, flags ? 2 : 1) << "flags " << int(flags);
        EXPECT_EQ(list.Find(Item("zz")), nullptr);
    }
}

TEST(SortedPtrListTest, TextOrdersOfElements) {
    ByName bytes;
    bytes.flags = 0x02;
    Item lower("abc"), upper("ABC"), high("\xe9t\xe9"), prefix("AB");
    bytes.Add(&lower);
    bytes.Add(&upper);
    bytes.Add(&high);
    bytes.Add(&prefix);
    EXPECT_EQ(SortedNames(bytes), (std::vector<std::string>{"\xe9t\xe9", "AB", "ABC", "abc"}));
    EXPECT_EQ(bytes.Find(Item("Abc")), nullptr);

    ByNameNoCase noCase;
    noCase.flags = 0x0A;
    EXPECT_TRUE(noCase.Add(&lower));
    EXPECT_FALSE(noCase.Add(&upper)) << "ABC and abc are equal without case";
    EXPECT_EQ(noCase.Find(Item("aBc")), &lower);

    // Lists of plain strings use the string's own byte order.
    SortedPtrList<String> strings;
    strings.flags = 0x03;
    strings.Add(new String("b"));
    strings.Add(new String("B"));
    EXPECT_STREQ(strings.SortedAt(0)->text, "B");
    SortedPtrList<String, Tovanix::TextOrderNoCase<>> stringsNoCase;
    stringsNoCase.flags = 0x0B;
    EXPECT_TRUE(stringsNoCase.Add(new String("b")));
    String upperB("B");
    EXPECT_FALSE(stringsNoCase.Add(&upperB));
}

TEST(SortedPtrListTest, RemoveAtRenumbersTheOrder) {
    ByName list;
    list.flags = 0x02;
    Item c("c"), a("a"), b("b");
    list.Add(&c);
    list.Add(&a);
    list.Add(&b);
    EXPECT_EQ(std::vector<int>(list.order, list.order + 3), (std::vector<int>{1, 2, 0}));
    EXPECT_FALSE(list.RemoveAt(3));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.items[0], &a);
    EXPECT_EQ(list.items[1], &b);
    EXPECT_EQ(list.items[2], nullptr);
    EXPECT_EQ(std::vector<int>(list.order, list.order + 2), (std::vector<int>{0, 1}));
    EXPECT_EQ(SortedNames(list), (std::vector<std::string>{"a", "b"}));
    list.RemoveAt(0);
    EXPECT_EQ(SortedNames(list), (std::vector<std::string>{"b"}));
}

TEST(SortedPtrListTest, GrowthSteps) {
    ByKey doubling;
    doubling.flags = 0x02;
    std::vector<int> capacities;
    std::vector<Item> elements;
    elements.reserve(9);
    for (int i = 0; i < 9; ++i) {
        elements.emplace_back("", 9 - i);
        doubling.Add(&elements.back());
        capacities.push_back(doubling.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int>{1, 2, 4, 8, 8, 8, 8, 16, 16}));
    EXPECT_EQ(doubling.SortedAt(0)->key, 1) << "the order array survives growth";
    EXPECT_EQ(doubling.SortedAt(8)->key, 9);

    ByKey stepped;
    stepped.growBy = 5;
    EXPECT_TRUE(stepped.Grow(0));
    EXPECT_EQ(stepped.capacity, 5);
    stepped.Grow(3);
    EXPECT_EQ(stepped.capacity, 5) << "below the capacity nothing happens";
    stepped.Grow(12);
    EXPECT_EQ(stepped.capacity, 12) << "a step too small grows to the wanted count";
    for (int i = 0; i < stepped.capacity; ++i) {
        EXPECT_EQ(stepped.items[i], nullptr);
    }
}

TEST(SortedPtrListTest, DestroyedListReadsAsInvalid) {
    void* storage = ::operator new(sizeof(ByName));
    ByName* list = new (storage) ByName;
    list->flags = 0x03;
    list->Add(new Item("a"));
    volatile int* count = &list->count;
    list->~ByName();
    const int after = *count;
    ::operator delete(storage);
    EXPECT_EQ(after, -1);
}
