#include "support/ProfileText.h"

#include <cstring>

namespace Tovanix::ProfileText {
namespace {

inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool IsValidName(const char* name, size_t maxLength, const char* others) {
    if (name == nullptr) return false;
    size_t length = std::strlen(name);
    if (length < 1 || length > maxLength) return false;
    if (!IsLetter(name[0]) && name[0] != '_') return false;
    for (size_t i = 1; i < length; ++i) {
        char c = name[i];
        if (!IsLetter(c) && !IsDigit(c) && std::strchr(others, c) == nullptr) return false;
    }
    return true;
}

// Start of the next line after position p.
size_t NextLine(const std::string& text, size_t p) {
    size_t lf = text.find('\n', p);
    return lf == std::string::npos ? text.size() : lf + 1;
}

bool EqualsNoCase(const char* a, std::string_view b) {
    for (size_t i = 0; i < b.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

}  // namespace

bool IsValidSectionName(const char* name) { return IsValidName(name, 63, " _-.{}~"); }

bool IsValidKeyName(const char* name) { return IsValidName(name, 127, "_-.[]{}~"); }

void NormaliseLineEnds(std::string& text) {
    // Most files are already in shape; copy only when a line end needs work.
    // The text is in shape when every CR is followed by LF and every LF
    // follows a CR, that is when the counts of CR, of LF and of CR LF pairs
    // are equal. Counting runs without branches, as vector code.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t crs = 0, lfs = 0, pairs = 0;
    if (size > 0) {
        crs = bytes[0] == '\r';
        lfs = bytes[0] == '\n';
    }
    for (size_t i = 1; i < size; ++i) {
        const size_t lf = bytes[i] == '\n';
        crs += bytes[i] == '\r';
        lfs += lf;
        pairs += lf & (bytes[i - 1] == '\r');
    }
    const bool clean = crs == lfs && lfs == pairs;
    if (!clean) {
        std::string out;
        out.reserve(text.size() + text.size() / 16 + 2);
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\r') {
                out += "\r\n";
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            } else if (c == '\n') {
                out += "\r\n";
            } else {
                out += c;
            }
        }
        text.swap(out);
    }
    if (text.size() >= 3 && text[text.size() - 2] != '\r') text += "\r\n";
}

void CompleteLastLine(std::string& text) {
    if (!text.empty() && text.back() != '\n') text += "\r\n";
}

size_t FindSection(const std::string& text, std::string_view name) {
    std::string header;
    header.reserve(name.size() + 2);
    header += '[';
    header += name;
    header += ']';
    // "[name]" inside a value or a comment is no header; the header is the
    // first occurrence that starts a line.
    for (size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1)) {
        if (at == 0 || text[at - 1] == '\r' || text[at - 1] == '\n') return at;
    }
    return std::string::npos;
}

size_t AfterHeaderLine(const std::string& text, size_t header) {
    size_t lf = text.find('\n', header);
    return lf == std::string::npos ? std::string::npos : lf + 1;
}

size_t SectionEnd(const std::string& text, size_t lineStart) {
    size_t p = lineStart;
    while (p < text.size() && text[p] != '[' && text[p] != '\0') p = NextLine(text, p);
    return std::min(p, text.size());
}

KeyLookup FindKey(const std::string& text, size_t header, size_t nameLength, std::string_view key) {
    KeyLookup lookup;
    const size_t size = text.size();
    size_t p = header + nameLength + 2;  // just after ']'
    if (p + 1 >= size || text[p] != '\r' || text[p + 1] != '\n') {
        lookup.result = KeyLookup::Unreadable;
        return lookup;
    }
    p += 2;

    while (p < size && text[p] != '[') {
        size_t q = p;
        while (q < size && (text[q] == ' ' || text[q] == '\t')) ++q;
        char c = q < size ? text[q] : '\0';
        if (c == '/') {
            if (q + 1 >= size || text[q + 1] != '/') {
                lookup.result = KeyLookup::Unreadable;
                return lookup;
            }
        } else if (IsLetter(c) || c == '_') {
            size_t r = q;
            while (r < size && text[r] != '=' && text[r] != '\r') {
                char k = text[r];
                if (k == '&' || k == '`' || k == '[' || r - q >= 128) {
                    lookup.result = KeyLookup::Unreadable;
                    return lookup;
                }
                ++r;
            }
            if (r < size && text[r] == '=' && r - q == key.size() && EqualsNoCase(text.data() + q, key)) {
                size_t end = text.find('\r', r + 1);
                lookup.result = KeyLookup::Found;
                lookup.valueBegin = r + 1;
                lookup.valueEnd = end == std::string::npos ? size : end;
                return lookup;
            }
        }
        // Comments, other lines and non-matching keys are passed over whole.
        p = NextLine(text, q);
    }
    lookup.result = KeyLookup::NotFound;
    lookup.sectionEnd = std::min(p, size);
    return lookup;
}

}  // namespace Tovanix::ProfileText
