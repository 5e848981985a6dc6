#pragma once

#include <string>
#include <vector>

// The pieces of `text` between delimiters, in order. Empty pieces are kept and
// the last piece is always added: a text without the delimiter gives one
// field, an empty text one empty field, a trailing delimiter a trailing empty
// field.
std::vector<std::string> SplitString(std::string text, char delimiter);
