#pragma once

// CString: the program's general text type at its module boundaries (error
// texts, names, paths). A small owned 8-bit string with printf-style
// formatting, in the spirit of the framework string the program grew up with.

#include <cstdarg>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text);  // NULL gives the empty text
    CString(const char* text, int count);
    CString(const std::string& text) : m_text(text) {}
    CString(char ch, int repeat = 1);

    // printf-style formatting; Format replaces, AppendFormat appends.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args);
    // A new text made with printf-style formatting.
    static CString Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    const char* GetString() const { return m_text.c_str(); }
    operator const char*() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }
    char GetAt(int index) const { return m_text.at(static_cast<size_t>(index)); }
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch) { m_text.at(static_cast<size_t>(index)) = ch; }

    // Comparisons: <0, 0, >0 like strcmp (NULL compares as the empty text).
    int Compare(const char* other) const;
    int CompareNoCase(const char* other) const;

    CString& operator=(const char* text);
    CString& operator+=(const char* text);
    CString& operator+=(const CString& text);
    CString& operator+=(char ch);
    void Append(const char* text) { *this += text; }
    void AppendChar(char ch) { *this += ch; }

    // Ranges that reach past either end are clipped to the text.
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    int Find(const char* sub, int start = 0) const;  // -1 when absent
    int Find(char ch, int start = 0) const;
    int ReverseFind(char ch) const;
    int Replace(const char* oldText, const char* newText);  // count replaced
    int Replace(char oldCh, char newCh);
    CString& MakeUpper();
    CString& MakeLower();
    CString& Trim();        // blanks, tabs, CR and LF at both ends
    CString& TrimLeft();
    CString& TrimRight();
    CString& TrimRight(const char* chars);
    CString& TrimLeft(const char* chars);
    int Delete(int index, int count = 1);  // new length
    int Insert(int index, const char* text);

private:
    std::string m_text;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, char b);
bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);
bool operator<(const CString& a, const CString& b);
