#include "app/NamedROIList.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/Profile.h"

namespace {

constexpr char kSection[] = "ROI";
constexpr char kKeyPrefix[] = "item";

// One "%lu" field of a 32-bit unsigned long: leading white space, an optional
// sign, at least one digit. A minus wraps the value as the C library does; a
// value past the 32-bit range stays at its largest value rather than wrapping
// round to a small, plausible coordinate.
bool ReadUnsigned32(const char*& p, uint32_t& value) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    uint64_t number = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (number <= UINT32_MAX) number = number * 10 + static_cast<uint64_t>(*p - '0');
        ++p;
    }
    if (number > UINT32_MAX) number = UINT32_MAX;
    value = negative ? 0u - static_cast<uint32_t>(number) : static_cast<uint32_t>(number);
    return true;
}

// Reads left, right, top and bottom, in the file's order, from "%lu,%lu,%lu,%lu".
bool ReadRectangle(const char* p, NamedROI& roi) {
    uint32_t* fields[] = {&roi.left, &roi.right, &roi.top, &roi.bottom};
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != ',') return false;
            ++p;
        }
        if (!ReadUnsigned32(p, *fields[i])) return false;
    }
    return true;
}

// One line of the section as a record; false for a line that is not one.
bool ParseRecordLine(const char* line, NamedROI& roi) {
    const size_t prefix = std::strlen(kKeyPrefix);
    if (std::strncmp(line, kKeyPrefix, prefix) != 0) return false;
    const char* p = line + prefix;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (*p++ != '=') return false;
    if (*p++ != '"') return false;
    const char* closing = std::strchr(p, '"');
    if (!closing) return false;
    const size_t nameLength = static_cast<size_t>(closing - p);
    if (nameLength > static_cast<size_t>(NamedROIList::kMaxNameLength)) return false;
    // Whatever follows the closing quote (the writer puts a comma there) is
    // passed over; at the end of the line there is nothing to pass.
    const char* numbers = closing + 1;
    if (*numbers == '\0') return false;
    ++numbers;
    if (!ReadRectangle(numbers, roi)) return false;
    roi.name.Assign(p, static_cast<int32_t>(nameLength));
    return true;
}

// A name the reader would cut short or split across lines.
bool CanStoreName(const char* name) { return std::strpbrk(name, "\"\r\n") == nullptr; }

}  // namespace

NamedROI::NamedROI(const char* name, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom)
    : name(name), left(left), top(top), right(right), bottom(bottom) {}

bool NamedROIList::LoadFromIni(const char* file) {
    std::vector<Tovanix::String> lines;
    if (!Tovanix::E_ReadSection(kSection, lines, file)) return false;
    RemoveAll();
    for (const Tovanix::String& line : lines) {
        NamedROI record;
        if (ParseRecordLine(line.c_str(), record)) Add(new NamedROI(record));
    }
    return true;
}

bool NamedROIList::SaveToIni(const char* file) const {
    const int stored = count < kMaxStoredRecords ? count : kMaxStoredRecords;
    std::vector<Tovanix::String> lines;
    bool allStored = true;
    for (int i = 0; i < stored; ++i) {
        const NamedROI& roi = *items[i];
        if (!CanStoreName(roi.name.c_str())) {
            allStored = false;
            continue;
        }
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "%lu,%lu,%lu,%lu", static_cast<unsigned long>(roi.left),
                      static_cast<unsigned long>(roi.right), static_cast<unsigned long>(roi.top),
                      static_cast<unsigned long>(roi.bottom));
        std::string line = kKeyPrefix + std::to_string(lines.size()) + "=\"" + roi.name.c_str() + "\"," + numbers;
        lines.emplace_back(line.c_str());
    }
    return Tovanix::E_ReplaceSection(kSection, lines, file) && allStored;
}
