#pragma once

// Tovanix::String: the library's owned 8-bit text, and the plain C-text
// helpers that go with it (comparison, search, splitting into fields, number
// formatting, path parts, file-name repair).
//
// The text lives in an exact-size heap buffer (length + 1 bytes) that is
// reallocated whenever the length changes; there is no capacity or length
// field. White space means blank and tab only, everywhere in this file.
//
// Paths: every operation that splits a path accepts both '\' and '/' as a
// separator (and a drive colon where a name may follow it); the operations
// that join a directory and a name join with the native '/'.

#include <cstdint>
#include <memory>
#include <vector>

namespace Tovanix {

class String {
public:
    // Set when the buffer could not be obtained while constructing from a
    // text or copying; `text` is then absent (NULL). Never cleared.
    bool allocFailed = false;
    // The NUL-terminated text; never NULL unless allocFailed is set.
    char* text = nullptr;

    String();
    String(const char* source);  // NULL gives the empty text
    String(const String& other);
    explicit String(int32_t value);  // "%ld" of a 32-bit value
    explicit String(double value);   // FormatNumber
    ~String();

    // NULL or empty text empties the string and keeps its buffer; a text
    // equal to the current one changes nothing.
    String& operator=(const char* source);
    String& operator=(const String& other);

    // The text as a C text; the empty text when it is absent.
    const char* c_str() const { return text ? text : ""; }
    operator const char*() const { return c_str(); }
    int32_t GetLength() const;

    bool HasText() const;
    bool Append(const char* tail);
    String& AppendNumber(uint32_t value);
    bool Assign(const char* buffer, int32_t count);
    bool Insert(int32_t position, const char* source, int32_t count);
    bool Delete(int32_t position, int32_t count);
    std::unique_ptr<String> Cut(int32_t position, int32_t count);
    int32_t Replace(const char* search, const char* replacement, int32_t maxCount);
    void Trim();
    // Splits at `separator` into a new array of (separators + 1) strings
    // handed to the caller; returns the number of fields read.
    int32_t Split(std::unique_ptr<String[]>& fields, char separator) const;

    bool SetDirectory(const char* directory);
    bool SetPath(const char* directory, const char* name);
    bool AppendPath(const char* element);
    bool RemoveExtension();
    bool MakeValidFileName();

    // Shows the folder browser with the title, starting in the folder this
    // text holds (the file-system root when empty). On OK the chosen folder
    // replaces the text and the result is true; on Cancel it stays as it was.
    // A dialog: defined in the support_ui library.
    bool BrowseForFolder(const char* title);

    // Orders of texts: byte order compares characters as signed 8-bit
    // values (bytes from 128 up sort first); the no-case order folds a..z
    // to A..Z first. A text that is a prefix of another is the smaller.
    static int Compare(const char* a, const char* b);
    static int CompareNoCase(const char* a, const char* b);
    bool LessNoCase(const char* other) const { return CompareNoCase(c_str(), other) < 0; }
    bool GreaterNoCase(const char* other) const { return CompareNoCase(c_str(), other) > 0; }

private:
    void TakeBuffer(char* buffer);
};

// The conversion to a C text would turn these into pointer comparisons;
// compare texts with TextEquals or String::Compare instead.
bool operator==(const String&, const char*) = delete;
bool operator==(const String&, const String&) = delete;

bool TextEquals(const char* a, const char* b, bool caseSensitive, int32_t n);
int32_t TextLength(const char* text, bool nonWhiteOnly);
const char* FindText(const char* text, const char* pattern, bool caseSensitive);
int32_t SplitText(const char* text, std::vector<String>& fields, char separator);

// Writes `value` into `buffer` (at least 11 bytes) in at most 10 characters;
// false when the value had to be cut to fit.
bool FormatNumber(double value, char* buffer);
void TrimNumberText(char* buffer);

bool IsValidFileNameChar(const char* ch);
bool GetPathPart(String& out, const char* path, bool directory, bool name, bool extension);
bool CreateDirectoryTree(const char* path);

}  // namespace Tovanix
