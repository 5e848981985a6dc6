#include "platform/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

const char kBlanks[] = " \t\r\n";

inline const char* OrEmpty(const char* text) { return text ? text : ""; }

// Formats into a fresh buffer, so arguments that point into the target text
// stay valid while it is being replaced.
std::string FormatToString(const char* format, va_list args) {
    if (!format) return {};
    va_list probe;
    va_copy(probe, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, format, probe);
    va_end(probe);
    if (needed < 0) return {};
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

// Clamps a (first, count) range to the text, the way the framework string did:
// a negative start counts as 0, a negative count as nothing.
std::string Slice(const std::string& text, int first, int count) {
    int length = static_cast<int>(text.size());
    first = std::clamp(first, 0, length);
    count = std::clamp(count, 0, length - first);
    return text.substr(static_cast<size_t>(first), static_cast<size_t>(count));
}

}  // namespace

CString::CString(const char* text) : m_text(OrEmpty(text)) {}

CString::CString(const char* text, int count) {
    if (text && count > 0) m_text.assign(text, strnlen(text, static_cast<size_t>(count)));
}

CString::CString(char ch, int repeat) {
    if (repeat > 0) m_text.assign(static_cast<size_t>(repeat), ch);
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_text += FormatToString(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args) { m_text = FormatToString(format, args); }

int CString::Compare(const char* other) const { return std::strcmp(m_text.c_str(), OrEmpty(other)); }

int CString::CompareNoCase(const char* other) const { return strcasecmp(m_text.c_str(), OrEmpty(other)); }

CString& CString::operator=(const char* text) {
    m_text.assign(OrEmpty(text));
    return *this;
}

CString& CString::operator+=(const char* text) {
    m_text.append(OrEmpty(text));
    return *this;
}

CString& CString::operator+=(const CString& text) {
    m_text.append(text.m_text);
    return *this;
}

CString& CString::operator+=(char ch) {
    m_text.push_back(ch);
    return *this;
}

CString CString::Left(int count) const { return CString(Slice(m_text, 0, count)); }

CString CString::Right(int count) const {
    int length = GetLength();
    count = std::clamp(count, 0, length);
    return CString(Slice(m_text, length - count, count));
}

CString CString::Mid(int first) const { return CString(Slice(m_text, first, GetLength())); }

CString CString::Mid(int first, int count) const { return CString(Slice(m_text, first, count)); }

int CString::Find(const char* sub, int start) const {
    if (!sub || start < 0 || start > GetLength()) return -1;
    size_t at = m_text.find(sub, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(char ch, int start) const {
    if (start < 0 || start >= GetLength()) return -1;
    size_t at = m_text.find(ch, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char ch) const {
    size_t at = m_text.rfind(ch);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(const char* oldText, const char* newText) {
    if (!oldText || !*oldText) return 0;
    const std::string from(oldText);
    const std::string to(OrEmpty(newText));
    std::string result;
    int replaced = 0;
    size_t pos = 0;
    for (size_t at; (at = m_text.find(from, pos)) != std::string::npos; pos = at + from.size()) {
        result.append(m_text, pos, at - pos);
        result += to;
        ++replaced;
    }
    if (replaced) {
        result.append(m_text, pos, std::string::npos);
        m_text.swap(result);
    }
    return replaced;
}

int CString::Replace(char oldCh, char newCh) {
    int replaced = 0;
    for (char& ch : m_text) {
        if (ch == oldCh) {
            ch = newCh;
            ++replaced;
        }
    }
    return replaced;
}

CString& CString::MakeUpper() {
    for (char& ch : m_text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return *this;
}

CString& CString::MakeLower() {
    for (char& ch : m_text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft() { return TrimLeft(kBlanks); }

CString& CString::TrimRight() { return TrimRight(kBlanks); }

CString& CString::TrimRight(const char* chars) {
    size_t keep = m_text.find_last_not_of(OrEmpty(chars));
    m_text.erase(keep == std::string::npos ? 0 : keep + 1);
    return *this;
}

CString& CString::TrimLeft(const char* chars) {
    m_text.erase(0, m_text.find_first_not_of(OrEmpty(chars)));
    return *this;
}

int CString::Delete(int index, int count) {
    int length = GetLength();
    index = std::clamp(index, 0, length);
    count = std::clamp(count, 0, length - index);
    m_text.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

int CString::Insert(int index, const char* text) {
    index = std::clamp(index, 0, GetLength());
    m_text.insert(static_cast<size_t>(index), OrEmpty(text));
    return GetLength();
}

CString operator+(const CString& a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, const char* b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const char* a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, char b) {
    CString result(a);
    result += b;
    return result;
}

bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(b == a); }
bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }

CString CString::Formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    return text;
}
