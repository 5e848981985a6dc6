#pragma once

// The named regions of interest of a settings file, section [ROI]: one line per
// region, "item<n>" = "<name>",left,right,top,bottom (note the file order of the
// four numbers). Users build a list, load it, look names up, change it and save
// it back in one piece; the list checks neither names nor coordinates (its
// editors do). Equal names are accepted; editors keep names unique by looking a
// name up before adding.
//
// Not thread-safe: every user keeps its own list.

#include <cstdint>

#include "support/SortedPtrList.h"
#include "support/String.h"

struct NamedROI {
    Tovanix::String name;
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t right = 0;
    uint32_t bottom = 0;

    NamedROI() = default;
    NamedROI(const char* name, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom);
};

// Owns its records; the sorted index orders them by name in byte order (signed
// characters), the item array keeps the order of insertion (the file order
// after a load). Add, FindSortedPos, Find, RemoveAt and RemoveAll are those of
// the sorted pointer list.
class NamedROIList : public Tovanix::SortedPtrList<NamedROI, Tovanix::TextOrder<&NamedROI::name>> {
public:
    static constexpr int kMaxStoredRecords = 100;
    static constexpr int kMaxNameLength = 127;

    NamedROIList() { flags = kOwnsElements | kSorted; }

    // Empties the list and refills it from section [ROI] of the file. False,
    // with the list unchanged, when the section cannot be read. Lines that are
    // not records (wrong key, name of 128 characters or more, fewer than four
    // numbers) are skipped.
    bool LoadFromIni(const char* file);

    // Replaces section [ROI] of the file with the first 100 records in item
    // order, keys numbered from item0. A record whose name holds a double
    // quote or a line end cannot be read back as written, so it is left out
    // and the result is false; so is a failed rewrite of the file.
    bool SaveToIni(const char* file) const;
};
