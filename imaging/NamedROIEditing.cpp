#include "imaging/NamedROIEditing.h"

#include <cstdio>

#include "app/VelloraApp.h"

namespace {

bool ReadInt(const CString& text, int32_t& value) {
    int parsed = 0;
    if (std::sscanf(text.GetString(), "%d", &parsed) != 1) return false;
    value = parsed;
    return true;
}

bool SameRect(const NamedROI& stored, const ROIRect& rect) {
    return static_cast<int32_t>(stored.left) == rect.left && static_cast<int32_t>(stored.top) == rect.top &&
           static_cast<int32_t>(stored.right) == rect.right && static_cast<int32_t>(stored.bottom) == rect.bottom;
}

}  // namespace

bool ReadROIEdits(const ROIEdits& edits, ROIRect& rect, CString& error) {
    const struct {
        const CString& text;
        int32_t& value;
        const char* field;
    } fields[] = {
        {edits.left, rect.left, "Left"},
        {edits.right, rect.right, "Right"},
        {edits.top, rect.top, "Top"},
        {edits.bottom, rect.bottom, "Bottom"},
    };
    for (const auto& field : fields) {
        if (!ReadInt(field.text, field.value)) {
            error = CString::Formatted("%s is not a whole number", field.field);
            return false;
        }
    }
    return true;
}

bool IsNamedROIName(const char* name) {
    for (const char* p = name ? name : ""; *p; ++p) {
        if (*p != ' ' && *p != '\t') return true;
    }
    return false;
}

void ROIManagerModel::Reload(const char* file) { m_list.LoadFromIni(file); }

std::vector<std::string> ROIManagerModel::SortedNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < m_list.count; ++i) names.emplace_back(m_list.SortedAt(i)->name.c_str());
    return names;
}

bool ROIManagerModel::Lookup(const char* name, ROIRect& rect) const {
    NamedROI key;
    key.name = name ? name : "";
    const NamedROI* found = m_list.Find(key);
    if (!found) return false;
    rect = ROIRect{static_cast<int32_t>(found->left), static_cast<int32_t>(found->top),
                   static_cast<int32_t>(found->right), static_cast<int32_t>(found->bottom)};
    return true;
}

bool ROIManagerModel::SaveEnabled(const ROIEdits& edits) const {
    if (!IsNamedROIName(edits.name)) return false;
    ROIRect rect;
    CString error;
    if (!ReadROIEdits(edits, rect, error)) return false;
    NamedROI key;
    key.name = edits.name.GetString();
    const NamedROI* stored = m_list.Find(key);
    return !stored || !SameRect(*stored, rect);
}

ROIManagerModel::SaveResult ROIManagerModel::SaveChanges(const ROIEdits& edits, bool loading, const char* file,
                                                         CString& error) {
    if (!IsNamedROIName(edits.name)) return SaveResult::Nothing;
    ROIRect rect;
    if (!ReadROIEdits(edits, rect, error)) return SaveResult::Refused;
    NamedROI key;
    key.name = edits.name.GetString();
    SaveResult result = SaveResult::Replaced;
    if (NamedROI* stored = m_list.Find(key)) {
        stored->left = static_cast<uint32_t>(rect.left);
        stored->top = static_cast<uint32_t>(rect.top);
        stored->right = static_cast<uint32_t>(rect.right);
        stored->bottom = static_cast<uint32_t>(rect.bottom);
    } else {
        // The section holds 100 regions; a 101st would be dropped from the
        // file without a word.
        if (m_list.count >= NamedROIList::kMaxStoredRecords) {
            error = kTooManyMessage;
            return SaveResult::Refused;
        }
        m_list.Add(new NamedROI(edits.name.GetString(), static_cast<uint32_t>(rect.left),
                                static_cast<uint32_t>(rect.top), static_cast<uint32_t>(rect.right),
                                static_cast<uint32_t>(rect.bottom)));
        result = SaveResult::Added;
    }
    if (!loading) m_list.SaveToIni(file);
    return result;
}

bool ROIManagerModel::Delete(const char* name, bool loading, const char* file) {
    NamedROI key;
    key.name = name ? name : "";
    const NamedROI* found = m_list.Find(key);
    if (!found) return false;
    for (int i = 0; i < m_list.count; ++i) {
        if (m_list.items[i] == found) {
            m_list.RemoveAt(i);
            break;
        }
    }
    if (!loading) m_list.SaveToIni(file);
    return true;
}

bool ROIManagerModel::SelectROIByName(const char* name, ROIRect& rect, CString& error) {
    ROIManagerModel model;
    if (!model.m_list.LoadFromIni(g_IniPath)) return false;
    if (model.Lookup(name, rect)) return true;
    error = CString("There is not ROI with name: ") + (name ? name : "");
    return false;
}

bool MakeChosenROIActive(const ROIRect& chosen) {
    g_ActiveROI = ROIRect{};
    g_EpiOverlayROI = ROIRect{};
    theApp.InvalidateAllImageViews();
    ROIRect* active = AllocateActiveROI();
    if (active->left == chosen.left && active->top == chosen.top && active->right == chosen.right &&
        active->bottom == chosen.bottom) {
        return false;
    }
    *active = chosen;
    return true;
}
