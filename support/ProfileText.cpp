#include "support/ProfileText.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// True when every CR is followed by LF and every LF follows a CR. Each byte
// is compared with its predecessor independently of the others, so whole
// blocks of bytes are checked at once and only a summary is kept.
bool HasOnlyCrLfLineEnds(const char* data, size_t size) {
    if (size == 0) return true;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    if (bytes[0] == '\n' || bytes[size - 1] == '\r') return false;
    size_t i = 1;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    __m128i mismatch = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i current = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i previous = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i - 1));
        mismatch = _mm_or_si128(mismatch, _mm_xor_si128(_mm_cmpeq_epi8(current, lf), _mm_cmpeq_epi8(previous, cr)));
    }
    if (_mm_movemask_epi8(mismatch) != 0) return false;
#endif
    unsigned mismatches = 0;
    for (; i < size; ++i) mismatches |= unsigned(bytes[i] == '\n') ^ unsigned(bytes[i - 1] == '\r');
    return mismatches == 0;
}

}  // namespace

bool IsValidSectionName(const char* name) { return IsValidName(name, 63, " _-.{}~"); }

bool IsValidKeyName(const char* name) { return IsValidName(name, 127, "_-.[]{}~"); }

void NormaliseLineEnds(std::string& text) {
    // Most files are already in shape; copy only when a line end needs work.
    const bool clean = HasOnlyCrLfLineEnds(text.data(), text.size());
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
