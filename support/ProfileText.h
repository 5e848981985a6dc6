#pragma once

// The INI text of a profile file as the profile store parses and edits it in
// memory: name rules, line-end normalisation, section and key look-up.
// Pure functions on bytes, so the rules can be tested without files.

#include <cstddef>
#include <string>
#include <string_view>

namespace Tovanix::ProfileText {

// Section names: 1 to 63 characters; a letter or '_' first, then letters,
// digits, blank, '_', '-', '.', '{', '}', '~'.
bool IsValidSectionName(const char* name);
// Key names: 1 to 127 characters; a letter or '_' first, then letters,
// digits, '_', '-', '.', '[', ']', '{', '}', '~'.
bool IsValidKeyName(const char* name);

// Brings every line end to CR LF: a lone CR gets an LF after it, a lone LF a
// CR before it. A text of 3 bytes or more that does not end in CR LF gets one.
void NormaliseLineEnds(std::string& text);

// Makes a non-empty text end with CR LF before something is appended to it.
void CompleteLastLine(std::string& text);

// Position of the '[' of the section's header, or npos: the first "[name]"
// that starts a line.
size_t FindSection(const std::string& text, std::string_view name);

// Position just after the header line that starts at `header` (after its
// line end), or npos when the header line has no line end.
size_t AfterHeaderLine(const std::string& text, size_t header);

// Start of the first line at or after `lineStart` that begins with '['
// (or a NUL) in the first column, or the text's length.
size_t SectionEnd(const std::string& text, size_t lineStart);

struct KeyLookup {
    enum Result { Found, NotFound, Unreadable } result = NotFound;
    size_t valueBegin = 0;  // Found: the value runs to valueEnd (its line's CR)
    size_t valueEnd = 0;
    size_t sectionEnd = 0;  // NotFound: where a new key line goes
};

// Looks the key up in the section whose header starts at `header` (as found
// by FindSection for a name of `nameLength` characters). Key names compare
// without regard to case and over their full length; nothing is trimmed.
// Unreadable: the header does not end in CR LF directly after ']', or the
// scan met a line it cannot read.
KeyLookup FindKey(const std::string& text, size_t header, size_t nameLength, std::string_view key);

}  // namespace Tovanix::ProfileText
