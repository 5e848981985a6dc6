#pragma once

// What the two named-region windows do, without their windows: the ROI
// manager's save-button rule, save, delete and preview, the lookup of a
// named region, and the chooser's OK. Section [ROI] of the main settings
// file is read and written through NamedROIList.
//
// User-interface thread only.

#include <string>
#include <vector>

#include "app/ActiveROI.h"
#include "app/NamedROIList.h"
#include "platform/CString.h"

// The texts of the ROI manager's name edit and its four number edits.
struct ROIEdits {
    CString name;
    CString left;
    CString right;
    CString top;
    CString bottom;
};

// Reads the four edits ("%d"). False, with "<Field> is not a whole number"
// in `error` for the first that does not parse (an empty one included).
bool ReadROIEdits(const ROIEdits& edits, ROIRect& rect, CString& error);

// A name that holds something other than blanks and tabs.
bool IsNamedROIName(const char* name);

class ROIManagerModel {
public:
    static constexpr const char* kTooManyMessage =
        "Can't write new ROI object because there are already 100 named ROI objects.";

    enum class SaveResult { Nothing, Replaced, Added, Refused };

    // Re-reads the list from section [ROI] of the file.
    void Reload(const char* file);
    const NamedROIList& List() const { return m_list; }
    // The names in name order, as the list box shows them.
    std::vector<std::string> SortedNames() const;
    // The stored rectangle of a name; false when the list has none.
    bool Lookup(const char* name, ROIRect& rect) const;

    // Whether "Save Changes" is enabled for the edits: a name, four
    // readable numbers, and a rectangle that differs from the stored one of
    // that name (or no stored one).
    bool SaveEnabled(const ROIEdits& edits) const;

    // "Save Changes": replaces the rectangle of the name or adds a new
    // region, then (unless `loading`) writes the section. Refused, with the
    // field's message, for a number that does not parse, and with
    // kTooManyMessage for a 101st region, which the section cannot hold.
    SaveResult SaveChanges(const ROIEdits& edits, bool loading, const char* file, CString& error);

    // Delete: removes the first region of that name and (unless `loading`)
    // writes the section. False when the name is not in the list.
    bool Delete(const char* name, bool loading, const char* file);

    // Looks a name up in section [ROI] of the main settings file. False when
    // the section cannot be read (error untouched) or with "There is not ROI
    // with name: <name>" when the name is not there.
    static bool SelectROIByName(const char* name, ROIRect& rect, CString& error);

private:
    NamedROIList m_list;
};

// The chooser's OK for a chosen region: clears both preview rectangles and
// makes it the active region. True when the active region changed.
bool MakeChosenROIActive(const ROIRect& chosen);
