#include "support/String.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace Tovanix {

namespace {

bool IsWhite(char ch) { return ch == ' ' || ch == '\t'; }
bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }
char FoldCase(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch; }

// An exact buffer for `length` characters and the NUL. Operations other than
// construction and copying let an allocation failure propagate.
char* NewBuffer(size_t length) { return new char[length + 1]; }

char* CopyOf(const char* source, size_t length) {
    char* buffer = NewBuffer(length);
    std::memcpy(buffer, source, length);
    buffer[length] = '\0';
    return buffer;
}

int32_t ClampLength(size_t length) {
    return length > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(length);
}

int CompareTexts(const char* a, const char* b, bool foldCase) {
    if (!a) a = "";
    if (!b) b = "";
    for (size_t i = 0;; ++i) {
        char ca = foldCase ? FoldCase(a[i]) : a[i];
        char cb = foldCase ? FoldCase(b[i]) : b[i];
        // A prefix is the smaller text, even against bytes from 128 up.
        if (ca == '\0' || cb == '\0') {
            return ca == cb ? 0 : (ca == '\0' ? -1 : 1);
        }
        signed char sa = static_cast<signed char>(ca);
        signed char sb = static_cast<signed char>(cb);
        if (sa != sb) {
            return sa < sb ? -1 : 1;
        }
    }
}

int32_t CountSeparators(const char* text, char separator) {
    int32_t n = 0;
    if (separator == '\0') {
        return 0;
    }
    for (const char* p = text; *p; ++p) {
        n += *p == separator;
    }
    return n;
}

// Reads the fields of `text` into `fields` (slots empty strings); returns the
// number read. A quoted field runs to the next quote and is not stored when
// that quote is missing.
int32_t ReadFields(const char* text, String* fields, int32_t slots, char separator) {
    auto nextSeparator = [separator](const char* from) -> const char* {
        return separator == '\0' ? nullptr : std::strchr(from, separator);
    };
    int32_t read = 0;
    const char* p = text;
    while (*p && read < slots) {
        while (*p == ' ') {
            ++p;
        }
        if (*p == '"') {
            const char* close = std::strchr(p + 1, '"');
            if (!close) {
                break;
            }
            fields[read++].Insert(0, p + 1, static_cast<int32_t>(close - (p + 1)));
            const char* sep = nextSeparator(close + 1);
            p = sep ? sep + 1 : close + std::strlen(close);
        } else {
            const char* sep = nextSeparator(p);
            const char* end = sep ? sep : p + std::strlen(p);
            // Inserting into an empty field drops the blanks at the very end
            // of the whole text, so a last field carries no trailing blanks.
            fields[read++].Insert(0, p, static_cast<int32_t>(end - p));
            p = sep ? sep + 1 : end;
        }
    }
    return read;
}

// Offsets of the parts of a path; see GetPathPart.
struct PathParts {
    const char* start = nullptr;     // first non-white character
    const char* nameStart = nullptr; // end of the directory part
    const char* nameEnd = nullptr;
    const char* extStart = nullptr;
    const char* extEnd = nullptr;
};

bool ParsePath(const char* path, PathParts& parts) {
    if (!path) {
        return false;
    }
    const char* p = path;
    while (IsWhite(*p)) {
        ++p;
    }
    if (!*p) {
        return false;
    }
    const char* lastSeparator = nullptr;
    const char* lastColon = nullptr;
    const char* end = p;
    for (; *end; ++end) {
        if (IsSeparator(*end)) {
            lastSeparator = end;
        } else if (*end == ':') {
            lastColon = end;
        }
    }
    parts.start = p;
    parts.nameStart = lastSeparator ? lastSeparator + 1 : (lastColon ? lastColon + 1 : p);
    const char* dot = std::strrchr(parts.nameStart, '.');
    if (dot) {
        parts.nameEnd = dot;
        parts.extStart = dot;
        parts.extEnd = dot + std::strcspn(dot, " \t");
    } else {
        parts.nameEnd = end;
        parts.extStart = end;
        parts.extEnd = end;
    }
    return true;
}

// General notation with `digits` significant digits, tidied.
void FormatGeneral(char* out, size_t size, double value, int digits) {
    std::snprintf(out, size, "%.*g", digits, value);
    TrimNumberText(out);
}

}  // namespace

// ---- construction and assignment ------------------------------------------

String::String() : text(CopyOf("", 0)) {}

String::String(const char* source) {
    if (!source) {
        source = "";
    }
    size_t length = std::strlen(source);
    text = new (std::nothrow) char[length + 1];
    if (!text) {
        allocFailed = true;
        return;
    }
    std::memcpy(text, source, length + 1);
}

String::String(const String& other) : String(other.c_str()) {}

String::String(int32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", value);
    text = CopyOf(digits, std::strlen(digits));
}

String::String(double value) {
    char digits[11];
    FormatNumber(value, digits);
    text = CopyOf(digits, std::strlen(digits));
}

String::~String() { delete[] text; }

void String::TakeBuffer(char* buffer) {
    delete[] text;
    text = buffer;
}

String& String::operator=(const char* source) {
    if (!source || !*source) {
        if (text) {
            text[0] = '\0';  // keeps the buffer
        } else {
            text = CopyOf("", 0);
        }
        return *this;
    }
    if (text && std::strcmp(text, source) == 0) {
        return *this;
    }
    // Copy before freeing: the source may lie inside our own buffer.
    TakeBuffer(CopyOf(source, std::strlen(source)));
    return *this;
}

String& String::operator=(const String& other) { return *this = other.c_str(); }

// ---- queries and edits -----------------------------------------------------

int32_t String::GetLength() const { return text ? ClampLength(std::strlen(text)) : 0; }

bool String::HasText() const { return text && text[0] != '\0'; }

bool String::Append(const char* tail) {
    if (!tail || allocFailed) {
        return false;
    }
    size_t length = std::strlen(text);
    size_t tailLength = std::strlen(tail);
    char* buffer = NewBuffer(length + tailLength);
    std::memcpy(buffer, text, length);
    std::memcpy(buffer + length, tail, tailLength + 1);
    TakeBuffer(buffer);
    return true;
}

String& String::AppendNumber(uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%u", value);
    Append(digits);
    return *this;
}

bool String::Assign(const char* buffer, int32_t count) {
    if (!buffer || count < 1) {
        return false;
    }
    TakeBuffer(CopyOf(buffer, strnlen(buffer, static_cast<size_t>(count))));
    return true;
}

bool String::Insert(int32_t position, const char* source, int32_t count) {
    if (!source || count == 0) {
        return true;
    }
    const int64_t sourceLength = static_cast<int64_t>(std::strlen(source));
    int64_t n = count < 0 ? sourceLength : count;
    const int64_t pos = std::max<int32_t>(position, 0);
    const int64_t length = GetLength();
    char* buffer = nullptr;
    if (pos < length) {
        // Inside the text: missing characters of a short source are blanks.
        buffer = NewBuffer(static_cast<size_t>(length + n));
        std::memcpy(buffer, text, static_cast<size_t>(pos));
        int64_t copied = std::min(n, sourceLength);
        std::memcpy(buffer + pos, source, static_cast<size_t>(copied));
        std::memset(buffer + pos + copied, ' ', static_cast<size_t>(n - copied));
        std::memcpy(buffer + pos + n, text + pos, static_cast<size_t>(length - pos + 1));
    } else {
        // At or past the end: trailing blanks of the source are not placed,
        // and the gap up to the position is filled with blanks.
        int64_t meaningful = sourceLength;
        while (meaningful > 0 && source[meaningful - 1] == ' ') {
            --meaningful;
        }
        n = std::min(n, meaningful);
        if (n == 0) {
            return true;
        }
        buffer = NewBuffer(static_cast<size_t>(pos + n));
        if (length > 0) {
            std::memcpy(buffer, text, static_cast<size_t>(length));
        }
        std::memset(buffer + length, ' ', static_cast<size_t>(pos - length));
        std::memcpy(buffer + pos, source, static_cast<size_t>(n));
        buffer[pos + n] = '\0';
    }
    TakeBuffer(buffer);
    return true;
}

bool String::Delete(int32_t position, int32_t count) {
    if (position < 0) {
        return false;
    }
    const int64_t length = GetLength();
    if (position >= length || count == 0) {
        return true;
    }
    if (count > 0 && static_cast<int64_t>(position) + count < length) {
        std::memmove(text + position, text + position + count,
                     static_cast<size_t>(length - position - count + 1));
        return true;
    }
    // The range reaches the end (a negative count means "to the end").
    TakeBuffer(CopyOf(text, static_cast<size_t>(position)));
    return true;
}

std::unique_ptr<String> String::Cut(int32_t position, int32_t count) {
    auto piece = std::make_unique<String>();
    const int64_t length = GetLength();
    const int64_t pos = std::max<int32_t>(position, 0);
    if (pos >= length) {
        return piece;
    }
    if (count < 0 || pos + count >= length) {
        *piece = text + pos;
        TakeBuffer(CopyOf(text, static_cast<size_t>(pos)));
        return piece;
    }
    piece->Assign(text + pos, count);
    char* buffer = NewBuffer(static_cast<size_t>(length - count));
    std::memcpy(buffer, text, static_cast<size_t>(pos));
    std::memcpy(buffer + pos, text + pos + count, static_cast<size_t>(length - pos - count + 1));
    TakeBuffer(buffer);
    return piece;
}

int32_t String::Replace(const char* search, const char* replacement, int32_t maxCount) {
    if (!search || !*search || !text) {
        return 0;
    }
    if (!replacement) {
        replacement = "";
    }
    const size_t searchLength = std::strlen(search);
    const size_t replacementLength = std::strlen(replacement);
    const int32_t limit = std::max<int32_t>(maxCount, 1);
    // The replacement may be part of our own text; keep a copy.
    const std::string with(replacement, replacementLength);
    int32_t replaced = 0;
    size_t from = 0;
    while (replaced < limit) {
        const char* hit = std::strstr(text + from, search);
        if (!hit) {
            break;
        }
        const size_t at = static_cast<size_t>(hit - text);
        if (searchLength == replacementLength) {
            std::memcpy(text + at, with.data(), replacementLength);
        } else {
            // The replacement is placed exactly as given, also at the end of
            // the text (where an insertion would drop its trailing blanks).
            const size_t length = std::strlen(text);
            char* buffer = NewBuffer(length - searchLength + replacementLength);
            std::memcpy(buffer, text, at);
            std::memcpy(buffer + at, with.data(), replacementLength);
            std::memcpy(buffer + at + replacementLength, text + at + searchLength,
                        length - at - searchLength + 1);
            TakeBuffer(buffer);
        }
        from = at + replacementLength;
        ++replaced;
    }
    return replaced;
}

void String::Trim() {
    if (!text) {
        return;
    }
    text[std::strcspn(text, "\r\n")] = '\0';
    size_t begin = 0;
    while (IsWhite(text[begin])) {
        ++begin;
    }
    size_t end = std::strlen(text);
    while (end > begin && IsWhite(text[end - 1])) {
        --end;
    }
    std::memmove(text, text + begin, end - begin);
    text[end - begin] = '\0';
}

int32_t String::Split(std::unique_ptr<String[]>& fields, char separator) const {
    const int32_t n = CountSeparators(c_str(), separator);
    fields = std::make_unique<String[]>(static_cast<size_t>(n) + 1);
    return ReadFields(c_str(), fields.get(), n + 1, separator);
}

int32_t SplitText(const char* text, std::vector<String>& fields, char separator) {
    if (!text) {
        text = "";
    }
    const int32_t n = CountSeparators(text, separator);
    fields.assign(static_cast<size_t>(n) + 1, String());
    return ReadFields(text, fields.data(), n + 1, separator);
}

// ---- paths -----------------------------------------------------------------

bool GetPathPart(String& out, const char* path, bool directory, bool name, bool extension) {
    PathParts parts;
    if (!ParsePath(path, parts)) {
        return false;
    }
    std::string result;
    if (directory) {
        result.append(parts.start, parts.nameStart);
    }
    if (name) {
        result.append(parts.nameStart, parts.nameEnd);
    }
    if (extension) {
        result.append(parts.extStart, parts.extEnd);
    }
    if (name && result.empty()) {
        return false;
    }
    out = result.c_str();
    return true;
}

bool String::SetDirectory(const char* directory) {
    if (!directory) {
        return false;
    }
    String name;
    if (!GetPathPart(name, c_str(), false, true, true)) {
        return false;
    }
    return SetPath(directory, name.c_str());
}

bool String::SetPath(const char* directory, const char* name) {
    // Work on copies: either argument may point into our own text.
    String path(directory);
    String file(name);
    path.Trim();
    if (!path.HasText()) {
        *this = file;
        return true;
    }
    if (!IsSeparator(path.text[path.GetLength() - 1])) {
        path.Append("/");
    }
    path.Append(file.c_str());
    *this = path;
    return true;
}

bool String::AppendPath(const char* element) {
    String tail(element);
    Trim();
    const int32_t length = GetLength();
    if (length == 0 || !IsSeparator(text[length - 1])) {
        Append("/");
    }
    if (element) {
        Append(tail.c_str());
    }
    return true;
}

bool String::RemoveExtension() {
    if (TextLength(text, true) == 0) {
        return false;
    }
    String stem;
    if (!GetPathPart(stem, text, true, true, false)) {
        return false;
    }
    *this = stem;
    return true;
}

bool IsValidFileNameChar(const char* ch) {
    if (!ch) {
        return false;
    }
    const unsigned char c = static_cast<unsigned char>(*ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ') {
        return true;
    }
    return c != '\0' && std::strchr("!#$%()+,-.;<=>@[]^_{}~", c) != nullptr;
}

bool String::MakeValidFileName() {
    if (GetLength() > 256) {
        return false;
    }
    for (char* p = text; p && *p; ++p) {
        if (!IsValidFileNameChar(p)) {
            *p = '_';
        }
    }
    return true;
}

// ---- comparison and search -------------------------------------------------

int String::Compare(const char* a, const char* b) { return CompareTexts(a, b, false); }

int String::CompareNoCase(const char* a, const char* b) { return CompareTexts(a, b, true); }

bool TextEquals(const char* a, const char* b, bool caseSensitive, int32_t n) {
    if (!a || !b) {
        return !a && !b;
    }
    for (int32_t i = 0; n <= 0 || i < n; ++i) {
        char ca = caseSensitive ? a[i] : FoldCase(a[i]);
        char cb = caseSensitive ? b[i] : FoldCase(b[i]);
        if (ca != cb) {
            return false;
        }
        if (ca == '\0') {
            return true;
        }
    }
    return true;
}

int32_t TextLength(const char* text, bool nonWhiteOnly) {
    if (!text) {
        return 0;
    }
    if (!nonWhiteOnly) {
        return ClampLength(std::strlen(text));
    }
    int32_t n = 0;
    for (const char* p = text; *p; ++p) {
        n += !IsWhite(*p);
    }
    return n;
}

const char* FindText(const char* text, const char* pattern, bool caseSensitive) {
    if (!text || !pattern) {
        return nullptr;
    }
    const size_t textLength = std::strlen(text);
    const size_t patternLength = std::strlen(pattern);
    if (patternLength > textLength) {
        return nullptr;
    }
    if (patternLength == 0) {
        return text;
    }
    for (size_t i = 0; i + patternLength <= textLength; ++i) {
        if (TextEquals(text + i, pattern, caseSensitive, static_cast<int32_t>(patternLength))) {
            return text + i;
        }
    }
    return nullptr;
}

// ---- numbers ---------------------------------------------------------------

void TrimNumberText(char* buffer) {
    if (!buffer) {
        return;
    }
    size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] == '.') {
        buffer[--length] = '\0';
    }
    char* marker = length > 1 ? std::strpbrk(buffer + 1, "eE") : nullptr;
    if (marker) {
        // Leading zeros of the exponent go (1.5e+007 -> 1.5e+7); its last
        // digit stays even when it is a zero.
        char* digits = marker + 1;
        if (*digits == '+' || *digits == '-') {
            ++digits;
        }
        char* first = digits;
        while (first[0] == '0' && first[1] >= '0' && first[1] <= '9') {
            ++first;
        }
        std::memmove(digits, first, std::strlen(first) + 1);
        if (marker[-1] == '.') {
            std::memmove(marker - 1, marker, std::strlen(marker) + 1);
        }
        return;
    }
    char* dot = std::strchr(buffer, '.');
    if (dot) {
        char* last = buffer + std::strlen(buffer) - 1;
        while (last > dot + 1 && *last == '0') {
            *last-- = '\0';
        }
    }
}

bool FormatNumber(double value, char* buffer) {
    if (value == 0) {
        std::strcpy(buffer, "0");
        return true;
    }
    char formatted[64];
    const double magnitude = std::fabs(value);
    if (magnitude >= 0.000001 && magnitude <= 1000000) {
        const int32_t whole = static_cast<int32_t>(value);
        if (value == static_cast<double>(whole)) {
            std::snprintf(buffer, 11, "%d", whole);
            return true;
        }
        FormatGeneral(formatted, sizeof formatted, value, 9);
        size_t length = std::strlen(formatted);
        if (length > 10) {
            int digits = 19 - static_cast<int>(length);
            for (; digits >= 1 && length > 10; --digits) {
                FormatGeneral(formatted, sizeof formatted, value, digits);
                length = std::strlen(formatted);
            }
            if (length > 10) {
                std::memcpy(buffer, formatted, 10);
                buffer[10] = '\0';
                return false;
            }
        }
        std::strcpy(buffer, formatted);
        return true;
    }

    // Very small or very large magnitudes.
    const bool negative = std::signbit(value);
    FormatGeneral(formatted, sizeof formatted, magnitude, 10);
    const size_t length = std::strlen(formatted);
    if (!negative && length <= 10) {
        std::strcpy(buffer, formatted);
        return true;
    }
    if (negative && length <= 9) {
        buffer[0] = '-';
        std::strcpy(buffer + 1, formatted);
        return true;
    }
    const char* exponent = std::strpbrk(formatted, "eE");
    if (negative && !exponent && std::strcspn(formatted, ".") >= 10) {
        // Ten integer digits and a sign do not fit, and cutting a digit would
        // show a tenth of the value: fall back to exponent form.
        for (int digits = 9; digits >= 1; --digits) {
            FormatGeneral(formatted, sizeof formatted, magnitude, digits);
            if (std::strlen(formatted) <= 9) {
                break;
            }
        }
        const size_t kept = std::min<size_t>(std::strlen(formatted), 9);
        buffer[0] = '-';
        std::memcpy(buffer + 1, formatted, kept);
        buffer[1 + kept] = '\0';
        return false;
    }
    char out[11];
    std::memcpy(out, formatted, 10);
    out[10] = '\0';
    size_t head = 10;  // characters before the exponent part
    if (exponent) {
        const size_t exponentLength = std::strlen(exponent);
        if (exponentLength < 10 && 10 - exponentLength > 2) {
            head = 10 - exponentLength;
            std::memcpy(out + head, exponent, exponentLength);
        }
    }
    if (negative) {
        std::memmove(out + 1, out, head - 1);
        out[0] = '-';
    }
    std::strcpy(buffer, out);
    return false;
}

}  // namespace Tovanix
