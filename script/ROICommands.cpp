// The commands on the named regions of interest of the main settings file:
// test, read, write and remove one by name, and make one the active region
// the image views draw. Each command loads the [ROI] section afresh, works
// on its own copy and writes the whole section back when it changed it; the
// ROI manager window meets the scripts only in the file.

#include <cstring>
#include <string>

#include "app/ActiveROI.h"
#include "app/FrameHooks.h"
#include "app/NamedROIList.h"
#include "app/VelloraApp.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"

namespace {

constexpr int32_t kROI_ChooseByName = 151;
constexpr int32_t kROI_Exists = 167;
constexpr int32_t kROI_Read = 168;
constexpr int32_t kROI_Write = 169;
constexpr int32_t kROI_Remove = 170;

constexpr int32_t kMaxScriptROIName = 32;
constexpr int32_t kMinROISize = 10;
constexpr int32_t kMaxROICoordinate = 5000;

// The region of a name in the list, or null; `itemIndex` gets its position
// in insertion order (the one RemoveAt takes).
NamedROI* FindByName(const NamedROIList& list, const char* name, int* itemIndex = nullptr)
{
    NamedROI key;
    key.name = name;
    bool found = false;
    const int position = list.FindSortedPos(key, found);
    if (!found)
        return nullptr;
    const int item = list.order[position - 1];
    if (itemIndex)
        *itemIndex = item;
    return list.items[item];
}

// The name and one int variable per output; a literal receives nothing.
bool ReadNameAndTargets(const char* arguments, std::vector<Variable>& variables, Tovanix::String& name,
                        Variable** targets, int targetCount, CString& error)
{
    const char* cursor = arguments;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, name, error, &variables, nullptr))
        return false;
    for (int i = 0; i < targetCount; ++i) {
        int unused = 0;
        if (!ReadIntParameter(i + 2, cursor, unused, error, &variables, &targets[i]))
            return false;
    }
    return true;
}

bool ReadName(const char* arguments, std::vector<Variable>& variables, Tovanix::String& name, CString& error)
{
    return ReadNameAndTargets(arguments, variables, name, nullptr, 0, error);
}

void StoreInt(Variable* target, int32_t value)
{
    if (target && target->type == kVariableInt)
        target->iValue = value;
}

bool IsNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

bool Script::ROI_Exists(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String name;
    Variable* exists = nullptr;
    if (!ReadNameAndTargets(arguments, variables, name, &exists, 1, error))
        return false;
    if (check_only)
        return true;
    NamedROIList list;
    list.LoadFromIni(g_IniPath.GetString());
    StoreInt(exists, FindByName(list, name.c_str()) ? 1 : 0);
    return true;
}

bool Script::ROI_Read(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String name;
    Variable* targets[4] = {};  // left, right, top, bottom
    if (!ReadNameAndTargets(arguments, variables, name, targets, 4, error))
        return false;
    if (check_only)
        return true;
    NamedROIList list;
    list.LoadFromIni(g_IniPath.GetString());
    if (const NamedROI* roi = FindByName(list, name.c_str())) {
        StoreInt(targets[0], static_cast<int32_t>(roi->left));
        StoreInt(targets[1], static_cast<int32_t>(roi->right));
        StoreInt(targets[2], static_cast<int32_t>(roi->top));
        StoreInt(targets[3], static_cast<int32_t>(roi->bottom));
    }
    return true;
}

bool Script::ROI_Write(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String name;
    int left = 0, right = 0, top = 0, bottom = 0;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, name, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, left, error, &variables, nullptr) ||
        !ReadIntParameter(3, cursor, right, error, &variables, nullptr) ||
        !ReadIntParameter(4, cursor, top, error, &variables, nullptr) ||
        !ReadIntParameter(5, cursor, bottom, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;

    const char* text = name.c_str();
    if (name.GetLength() > 0) {
        if (name.GetLength() > kMaxScriptROIName) {
            error = "Name may be no more than 32 characters";
            return false;
        }
        for (const char* c = text; *c; ++c) {
            if (!IsNameCharacter(*c)) {
                error = "ROI names may only include letters, numbers and underscores.";
                return false;
            }
        }
    }
    // Differences in 64 bits: coordinates far apart must not wrap into range.
    if (static_cast<int64_t>(right) - left < kMinROISize) {
        error = "right - left must be at least 10";
        return false;
    }
    if (static_cast<int64_t>(bottom) - top < kMinROISize) {
        error = "bottom - top must be at least 10";
        return false;
    }
    if (left < 0) {
        error = "left must be at least 0";
        return false;
    }
    if (top < 0) {
        error = "top must be at least 0";
        return false;
    }
    if (right > kMaxROICoordinate) {
        error = "right may be no more than 5000";
        return false;
    }
    if (bottom > kMaxROICoordinate) {
        error = "bottom may be no more than 5000";
        return false;
    }

    NamedROIList list;
    list.LoadFromIni(g_IniPath.GetString());
    if (NamedROI* roi = FindByName(list, text)) {
        roi->left = static_cast<uint32_t>(left);
        roi->right = static_cast<uint32_t>(right);
        roi->top = static_cast<uint32_t>(top);
        roi->bottom = static_cast<uint32_t>(bottom);
    } else {
        list.Add(new NamedROI(text, static_cast<uint32_t>(left), static_cast<uint32_t>(top),
                              static_cast<uint32_t>(right), static_cast<uint32_t>(bottom)));
    }
    if (list.count > NamedROIList::kMaxStoredRecords) {
        error = "Can't write new ROI object because there are already 100 named ROI objects.";
        return false;
    }
    if (!list.SaveToIni(g_IniPath.GetString())) {
        error.Format("Problem writing to file: %s", g_IniPath.GetString());
        return false;
    }
    return true;
}

bool Script::ROI_Remove(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String name;
    if (!ReadName(arguments, variables, name, error))
        return false;
    if (check_only)
        return true;
    NamedROIList list;
    list.LoadFromIni(g_IniPath.GetString());
    int item = -1;
    if (!FindByName(list, name.c_str(), &item)) {
        error.Format("There is no ROI with name: %s", name.c_str());
        return false;
    }
    list.RemoveAt(item);
    if (!list.SaveToIni(g_IniPath.GetString())) {
        error.Format("Problem writing to file: %s", g_IniPath.GetString());
        return false;
    }
    return true;
}

bool Script::ROI_ChooseByName(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    Tovanix::String name;
    if (!ReadName(arguments, variables, name, error))
        return false;
    if (check_only)
        return true;
    NamedROIList list;
    if (!list.LoadFromIni(g_IniPath.GetString())) {
        error.Format("ROI_ChooseByName() - unable to read section [ROI] of file %s", g_IniPath.GetString());
        return false;
    }
    const NamedROI* roi = FindByName(list, name.c_str());
    if (!roi) {
        error.Format("ROI with name: \"%s\" does not exist.", name.c_str());
        return false;
    }
    const ROIRect chosen{static_cast<int32_t>(roi->left), static_cast<int32_t>(roi->top),
                         static_cast<int32_t>(roi->right), static_cast<int32_t>(roi->bottom)};
    ROIRect* active = g_pActiveROI;
    if (active && active->left == chosen.left && active->top == chosen.top && active->right == chosen.right &&
        active->bottom == chosen.bottom)
        return true;
    active = AllocateActiveROI();
    *active = chosen;
    if (const auto show = GetFrameHooks().showCurrentROI)
        show();
    theApp.InvalidateAllImageViews();
    return true;
}

void InstallROICommands(BuiltInHandlerTable& table)
{
    table.Set(kROI_ChooseByName, &Script::ROI_ChooseByName);
    table.Set(kROI_Exists, &Script::ROI_Exists);
    table.Set(kROI_Read, &Script::ROI_Read);
    table.Set(kROI_Write, &Script::ROI_Write);
    table.Set(kROI_Remove, &Script::ROI_Remove);
}
