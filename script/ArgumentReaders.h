#pragma once

// The argument readers of the built-in commands.
//
// A command's argument text starts at the "(" after its name. A handler
// opens the list (OpenArgumentList), reads its parameters in order with the
// readers, numbered from 1, and each reader also steps over the "," or stops
// on the ")" that follows its parameter. A parameter is a literal or, when a
// variable list is given, the name of a variable; a reader given a
// found-variable pointer stores there the variable that supplied the value
// (null for a literal), so a handler can write its result back into it.
//
// Every reader returns false with its message in the error text, and moves
// the cursor only on success.

#include <cstdint>
#include <vector>

#include "platform/CString.h"
#include "script/Variable.h"
#include "support/String.h"

// Longest STRING literal a reader takes, plus one.
constexpr int32_t kMaxStringParameter = 1024;

// Blanks, "(", blanks; fails at the end of the text. Leaves the cursor on the
// first character of the first parameter.
bool OpenArgumentList(const char*& cursor, CString& error);

// "(", ")" and ";" with blanks between; leaves the cursor on the ";".
bool ParseEmptyArgumentList(const char*& cursor, CString& error);

bool ReadStringParameter(int number, const char*& cursor, Tovanix::String& value, CString& error,
                         std::vector<Variable>* variables, Variable** found);
// A double variable is clamped to the int range and truncated toward zero.
bool ReadIntParameter(int number, const char*& cursor, int& value, CString& error,
                      std::vector<Variable>* variables, Variable** found);
bool ReadDoubleParameter(int number, const char*& cursor, double& value, CString& error,
                         std::vector<Variable>* variables, Variable** found);

// True when the argument list ends here (blanks, then ")"), so an optional
// parameter that follows is absent. Only then is it missing: a parameter that
// is present but fails to read is an error of the command.
bool ArgumentListEnded(const char* cursor);
